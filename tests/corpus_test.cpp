// Real meter captures through obisdump: what each frame is known to hold,
// its readings checked against values read off the bytes by hand.
#include <algorithm>
#include <map>
#include <random>
#include <cstdio>
#include <sstream>

#include <sml/sml_file.h>
#include <sml/sml_get_list_response.h>
#include <sml/sml_stream.h>
#include <zelkor/zelkor.hpp>

#include "frame.hpp"
#include "json.hpp"
#include "process.hpp"
#include "sml_test.hpp"

namespace {

using test::lines_of;

namespace fs = std::filesystem;

enum class expect {
	readings,    // intact: summary, every reading, no diagnostic
	crc_line,    // frame CRC wrong: skipped whole with one line
	stops_early, // the file parser gives up in the GetList: its warning; the readings before the break
	no_getlist,  // open, another body, close: summary only
	unfinished,  // damaged so that its end block is off the block grid: one line at the end
};

struct capture {
	expect what;
	int readings = 0;               // when the source counts them; 0: at least one
	std::vector<const char *> lines = {}; // readings decoded by hand from the bytes
	const char *tags = "SML message  101\nSML message  701\nSML message  201\n";
};

const std::map<std::string, capture> &captures() {
	static const std::map<std::string, capture> known = {
		// 69 00000000 00449F38 at scaler -1; server id 0A 01 "APA" 01 05 55 50 D2.
		{"apator-unknown-1.bin",
		 {expect::readings, 22, {"1-0:1.8.0*255#449720.8#Wh", "1-0:96.1.0*255#0a 01 41 50 41 01 05 55 50 d2 #"}}},
		// 59 ...AAD2 = 43730 at scaler -1; 65 0000002A = 42 W.
		{"dnt-unknown-1.bin",
		 {expect::readings, 7,
		  {"129-129:199.130.3*255#DNT#", "1-0:2.8.0*255#4373.0#Wh", "1-0:15.7.0*255#42.0#W"}}},
		{"dzg-unknown-1.bin", {expect::readings}},
		{"dzg-unknown-2.bin", {expect::crc_line}},
		// 55 FFFEA113 = -89837 at scaler -2; 69 ...03DF435B = 64963419 at -4;
		// 1-0:96.5.5 has no unit: 63 01A0 = 416.
		{"easymeter-q3b-1.bin",
		 {expect::readings, 9,
		  {"1-0:1.7.0*255#-898.4#W", "1-0:1.8.0*255#6496.3#Wh", "1-0:96.5.5*255#416.0#"}}},
		{"easymeter-q3ba1022-1.bin", {expect::readings}},
		{"ebz-dd3-1.bin", {expect::readings}},
		{"ebz-dd3-2.bin", {expect::crc_line}},
		{"ebz-unknown-1.bin", {expect::readings}},
		{"ebz-unknown-2.bin", {expect::readings}},
		{"efr-unknown-1.bin", {expect::readings}},
		// 52 F7 = -9 W; phase angle 52 79 = 121 in unit 8; 63 01F4 = 500 at -1 in unit 44.
		{"efr-unknown-2.bin",
		 {expect::readings, 22, {"1-0:16.7.0*255#-9.0#W", "1-0:81.7.1*255#121.0#°", "1-0:14.7.0*255#50.0#Hz"}}},
		{"emh-ed300l-1.bin", {expect::readings}},
		// 55 FFFFF3FA = -3078 at -1; 56 001054F2FE = 274002686 at -1.
		{"emh-ed300l-2.bin",
		 {expect::readings, 10, {"1-0:16.7.0*255#-307.8#W", "1-0:1.8.0*255#27400268.6#Wh"}}},
		{"emh-ehzpw8e2a6l0hq2d-1.bin", {expect::readings}},
		// SML 1.05: local timestamps (tag 3) as val_time; 56 0000009E3C = 40508
		// at -1. The third entry's value is a time, 72 62 01 72 62 01 65
		// 001E3F50: sec index 1982288.
		{"emh-unknown-1.bin",
		 {expect::readings, 4,
		  {"129-130:129.84.1*255#B,cd 8c #", "1-0:1.17.0*255#4050.8#Wh", "129-0:96.8.0*1#1982288#",
		   "129-128:129.113.1*255#15.0#"}}},
		{"emh-unknown-2.bin", {expect::readings}},
		// The tree stops at the stray 00 in the tenth entry; the nine readings
		// before it print, then where the walk lost the structure.
		{"hager-ehz363-1.bin",
		 {expect::stops_early, 9, {"129-129:199.130.3*255#HAG#", "1-0:16.7.0*255#391.0#W"}, "SML message  101\n"}},
		{"hager-unknown-1.bin", {expect::crc_line}},
		{"hager-unknown-2.bin", {expect::readings}},
		{"hager-unknown-3.bin", {expect::unfinished}},
		// CRC-16/KERMIT frame. 65 066F04AB = 107938987 at -1; 53 00BC = 188 W.
		{"holley-dtz541-1.bin",
		 {expect::readings, 30, {"1-0:1.8.0*255#10793898.7#Wh", "1-0:16.7.0*255#188.0#W"}}},
		{"holley-unknown-1.bin", {expect::readings, 20, {"1-0:0.2.0*0#1.02.007#"}}},
		{"holley-unknown-2.bin", {expect::readings}},
		{"iskra-mt631-1.bin", {expect::readings}},
		{"iskra-unknown-1.bin", {expect::readings}},
		{"iskra-unknown-2.bin", {expect::readings}},
		{"logarex-unknown-1.bin", {expect::readings, 22}},
		{"unknown-unknown-1.bin",
		 {expect::no_getlist, 0, {}, "SML message  101\nSML message FF01\nSML message  201\n"}},
		{"unknown-unknown-2.bin",
		 {expect::no_getlist, 0, {}, "SML message  101\nSML message  401\nSML message  201\n"}},
	};
	return known;
}

// A-B:C.D.E*F#value#unit
bool is_reading(const std::string &line) {
	unsigned obis[6];
	int n = 0;
	if (std::sscanf(line.c_str(), "%u-%u:%u.%u.%u*%u#%n", &obis[0], &obis[1], &obis[2], &obis[3], &obis[4],
			&obis[5], &n) != 6 || n == 0)
		return false;
	return line.find('#', static_cast<size_t>(n)) != std::string::npos;
}

std::string summary(size_t frame_len, int messages, const char *tags) {
	return "SML file (" + std::to_string(messages) + " SML messages, " + std::to_string(frame_len - 16) +
	       " bytes)\n" + tags + "OBIS data\n";
}

void check(const std::string &name, const capture &c) {
	SCOPED_TRACE(name);
	auto frame = test::read_file(test::corpus_dir() + "/" + name);
	auto r = test::run({test::program("obisdump"), "-"}, frame);
	ASSERT_EQ(r.status, 0) << r.err;

	switch (c.what) {
	case expect::readings: {
		EXPECT_EQ(r.err, "");
		std::string head = summary(frame.size(), 3, c.tags);
		ASSERT_EQ(r.out.substr(0, head.size()), head);
		auto readings = lines_of(r.out.substr(head.size()));
		if (c.readings) {
			EXPECT_EQ(readings.size(), static_cast<size_t>(c.readings));
		}
		EXPECT_FALSE(readings.empty());
		for (const auto &line : readings)
			EXPECT_TRUE(is_reading(line)) << line;
		for (const char *line : c.lines)
			EXPECT_NE(std::find(readings.begin(), readings.end(), line), readings.end()) << line;
		break;
	}
	case expect::crc_line:
		EXPECT_EQ(r.out, "");
		EXPECT_EQ(r.err, "obisdump: warning: frame of " + std::to_string(frame.size()) +
					 " bytes fails its CRC check, skipped\n");
		break;
	case expect::stops_early: {
		auto out = lines_of(r.out);
		ASSERT_EQ(out.size(), 3u + static_cast<size_t>(c.readings)) << r.out;
		EXPECT_EQ(out[0].rfind("SML file (1 SML messages, ", 0), 0u) << out[0];
		EXPECT_EQ(out[1] + "\n" + out[2] + "\n", std::string(c.tags) + "OBIS data\n");
		for (size_t i = 3; i < out.size(); i++)
			EXPECT_TRUE(is_reading(out[i])) << out[i];
		for (const char *line : c.lines)
			EXPECT_NE(std::find(out.begin(), out.end(), line), out.end()) << line;
		auto err = lines_of(r.err);
		ASSERT_GE(err.size(), 2u);
		EXPECT_EQ(err[err.size() - 2], "zelkor: warning: could not read the whole file");
		EXPECT_EQ(err.back().rfind("obisdump: warning: the file is unreadable from byte ", 0), 0u) << err.back();
		for (size_t i = 0; i + 1 < err.size(); i++)
			EXPECT_EQ(err[i].rfind("zelkor: ", 0), 0u) << err[i];
		break;
	}
	case expect::no_getlist:
		EXPECT_EQ(r.err, "");
		EXPECT_EQ(r.out, summary(frame.size(), 3, c.tags));
		break;
	case expect::unfinished:
		EXPECT_EQ(r.out, "");
		EXPECT_EQ(r.err, "obisdump: warning: frame of " + std::to_string(frame.size()) +
					 " bytes is cut short by the end of input, skipped\n");
		break;
	}
}

TEST(Corpus, EveryFrameGivesWhatItsSourceLeadsToExpect) {
	SKIP_WITHOUT_CORPUS();
	int seen = 0;
	for (const auto &e : fs::directory_iterator(test::corpus_dir())) {
		if (e.path().extension() != ".bin")
			continue;
		std::string name = e.path().filename();
		auto it = captures().find(name);
		if (it == captures().end()) {
			ADD_FAILURE() << name << " is not described here yet";
			continue;
		}
		seen++;
		check(name, it->second);
	}
	EXPECT_EQ(seen, static_cast<int>(captures().size()));
}

// An SML 1.05 meter: its local timestamps and its time-valued entry read
// into the tree, and each written back is the very bytes it was read from.
TEST(Corpus, Emh105ElementsRoundTripThroughTheTree) {
	SKIP_WITHOUT_CORPUS();
	auto frame = test::read_file(test::corpus_dir() + "/emh-unknown-1.bin");
	ASSERT_GT(frame.size(), 16u);
	testing::internal::CaptureStderr();
	auto file = test::owned(sml_file_parse(frame.data() + 8, frame.size() - 16), sml_file_free);
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
	ASSERT_EQ(file->messages_len, 3);
	auto *response = static_cast<sml_get_list_response *>(file->messages[1]->message_body->data);
	ASSERT_NE(response, nullptr);

	auto occurs = [&](const std::string &hex) {
		auto b = test::bytes(hex);
		return !b.empty() && std::search(frame.begin(), frame.end(), b.begin(), b.end()) != frame.end();
	};
	int entries = 0, local = 0, time_values = 0;
	for (sml_list_entry *e = response->val_list; e; e = e->next, entries++) {
		if (e->val_time && e->val_time->local_offset) {
			local++;
			EXPECT_EQ(*e->val_time->tag, SML_TIME_LOCAL_TIMESTAMP);
			EXPECT_EQ(*e->val_time->local_offset, 60);
			EXPECT_EQ(*e->val_time->season_time_offset, 60);
			EXPECT_TRUE(occurs(test::written([&](sml_buffer *w) { sml_time_write(e->val_time, w); })));
		}
		if (e->value && e->value->type == SML_VALUE_LIST) {
			time_values++;
			ASSERT_EQ(*e->value->data.list_type->tag, SML_LIST_TYPE_TIME);
			EXPECT_EQ(*e->value->data.list_type->data.time->tag, SML_TIME_SEC_INDEX);
			// The whole entry: every number in it is at full width.
			EXPECT_TRUE(occurs(test::written([&](sml_buffer *w) { sml_list_entry_write(e, w); })));
		}
	}
	EXPECT_EQ(entries, 4);
	EXPECT_EQ(local, 2);
	EXPECT_EQ(time_values, 1);
	// The first entry, with its local timestamp, is at full width too.
	EXPECT_TRUE(occurs(test::written([&](sml_buffer *w) { sml_list_entry_write(response->val_list, w); })));
}

// SML 1.05: every reading prints, the time-valued one too, in every format.
TEST(Corpus, Emh105PrintsEveryReadingInEveryFormat) {
	SKIP_WITHOUT_CORPUS();
	auto frame = test::read_file(test::corpus_dir() + "/emh-unknown-1.bin");
	const std::string head = summary(frame.size(), 3, "SML message  101\nSML message  701\nSML message  201\n");
	// 42 2C CD 8C; 56 0000009E3C at -1; a time 72 62 01 72 62 01 65 001E3F50;
	// 65 0000000F without scaler.
	auto r = test::run({test::program("obisdump"), "--exact", "-"}, frame);
	EXPECT_EQ(r.out, head + "129-130:129.84.1*255#B,cd 8c #\n1-0:1.17.0*255#4050.8#Wh\n129-0:96.8.0*1#1982288#\n"
				"129-128:129.113.1*255#15#\n");
	EXPECT_EQ(r.err, "");

	// The first two at their local timestamps, 671B6322 and 671B6323 with
	// 60 + 60 minutes ahead of UTC; the others at the sensor's sec index
	// 001E3F7D; server 09 01 "EMH" 00 00 CA CF 7E.
	r = test::run({test::program("obisdump"), "--json", "-"}, frame);
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, 0);
	const std::string server = R"("server_id":"0901454d480000cacf7e")";
	const std::vector<std::string> expected = {
		R"({"obis":"129-130:129.84.1*255","value":"422ccd8c","meter_time":"2024-10-25T11:21:38+02:00",)" + server + "}",
		R"({"obis":"1-0:1.17.0*255","value":4050.8,"unit":"Wh","unit_code":30,"status":8,"meter_time":"2024-10-25T11:21:39+02:00",)" + server + "}",
		R"({"obis":"129-0:96.8.0*1","value":1982288,"meter_seconds":1982333,)" + server + "}",
		R"({"obis":"129-128:129.113.1*255","value":15,"meter_seconds":1982333,)" + server + "}",
	};
	std::vector<std::string> got;
	for (const auto &line : lines_of(r.out)) {
		auto v = test::json::parse(line);
		ASSERT_TRUE(v) << line;
		std::erase_if(v->members, [](const auto &m) { return m.first == "received"; });
		got.push_back(test::json::compact(*v));
	}
	EXPECT_EQ(got, expected);
}

// The file of each intact frame, as obisdump hands it on: between start
// sequence and end block, escapes taken out.
std::vector<std::vector<unsigned char>> files_of(const std::vector<unsigned char> &input) {
	std::vector<std::vector<unsigned char>> files;
	unsigned char area[16384];
	sml_stream s;
	sml_stream_init(
		&s, area, sizeof area,
		[](const sml_stream_frame *f, void *ctx) {
			static_cast<std::vector<std::vector<unsigned char>> *>(ctx)->emplace_back(f->frame + 8,
												  f->frame + f->frame_len - 8);
			return 0;
		},
		nullptr, &files);
	sml_stream_feed(&s, input.data(), input.size());
	sml_stream_finish(&s);
	return files;
}

std::string lower_hex(std::span<const unsigned char> b) {
	std::string s;
	char two[3];
	for (unsigned char c : b) {
		std::snprintf(two, sizeof two, "%02x", c);
		s += two;
	}
	return s;
}

// Every frame's --json output is JSON, one object per printed reading, and
// each number is the exact decimal of its integer and scaler, as --exact
// prints it for the GetList readings.
TEST(Corpus, JsonOfEveryFrameHoldsTheExactReadings) {
	SKIP_WITHOUT_CORPUS();
	int frames = 0, numbers = 0;
	for (const auto &e : fs::directory_iterator(test::corpus_dir())) {
		if (e.path().extension() != ".bin")
			continue;
		SCOPED_TRACE(e.path().filename().string());
		auto input = test::read_file(e.path());
		auto json = test::run({test::program("obisdump"), "--json", "-"}, input);
		auto exact = test::run({test::program("obisdump"), "--exact", "-"}, input);
		EXPECT_EQ(json.status, 0);

		// What each line must hold, from the walk over the same bytes.
		std::vector<std::pair<std::string, std::string>> want; // obis, value as JSON
		std::vector<std::string> exact_numbers;                 // GetList: obis#value#
		for (const auto &file : files_of(input)) {
			frames++;
			for (const zelkor::reading &r : zelkor::readings(std::span<const unsigned char>(file))) {
				if (!r.readable() || r.kind == SML_READING_NONE || r.name.len < 6)
					continue;
				std::string obis = zelkor::obis_code(std::span<const unsigned char, 6>(r.name.data, 6)).to_string();
				std::string value;
				if (auto n = r.number()) {
					value = n->to_string();
					if (r.body == SML_BODY_GET_LIST_RESPONSE)
						exact_numbers.push_back(obis + "#" + value + "#");
				} else if (auto b = r.boolean()) {
					value = *b ? "true" : "false";
				} else if (r.kind == SML_READING_BYTES || r.kind == SML_READING_UNSUPPORTED) {
					value = "\"" + lower_hex(r.bytes()) + "\"";
				} else if (r.time() && r.value.time.kind == SML_READING_TIME_SEC_INDEX) {
					value = std::to_string(r.value.time.seconds);
				}
				want.emplace_back(obis, value);
			}
		}

		auto lines = lines_of(json.out);
		ASSERT_EQ(lines.size(), want.size()) << json.out;
		for (size_t i = 0; i < lines.size(); i++) {
			SCOPED_TRACE(lines[i]);
			auto v = test::json::parse(lines[i]);
			ASSERT_TRUE(v && v->kind == test::json::value::object);
			const auto *obis = v->find("obis");
			const auto *value = v->find("value");
			ASSERT_TRUE(obis && value && v->find("received"));
			EXPECT_EQ(obis->text, want[i].first);
			if (!want[i].second.empty()) {
				EXPECT_EQ(test::json::compact(*value), want[i].second);
			}
			numbers += value->kind == test::json::value::number;
		}
		// In the same order among the --exact lines, with their units after them.
		size_t found = 0;
		for (const auto &line : lines_of(exact.out))
			if (found < exact_numbers.size() && line.rfind(exact_numbers[found], 0) == 0)
				found++;
		EXPECT_EQ(found, exact_numbers.size()) << exact.out;
	}
	EXPECT_GT(frames, 20);
	EXPECT_GT(numbers, 200);
}

// A raw serial dump: every frame of one meter, back to back. Returns what
// obisdump printed.
std::string check_stream(const char *name, int frames, const std::string &err = "") {
	auto input = test::read_file(test::corpus_dir() + "/streams/" + name);
	EXPECT_FALSE(input.empty());
	auto r = test::run({test::program("obisdump"), "-"}, input);
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(r.err, err);
	auto out = lines_of(r.out);
	auto count = [&](const std::string &prefix) {
		return std::count_if(out.begin(), out.end(), [&](const std::string &l) { return l.rfind(prefix, 0) == 0; });
	};
	// Every frame of this meter: three messages, seven readings.
	EXPECT_EQ(count("SML file (3 SML messages, 308 bytes)"), frames);
	EXPECT_EQ(count("OBIS data"), frames);
	EXPECT_EQ(count("1-0:2.8.0*255#"), frames);
	EXPECT_EQ(count("1-0:15.7.0*255#"), frames);
	EXPECT_EQ(out.size(), static_cast<size_t>(frames) * 12);
	return r.out;
}

TEST(Corpus, DntStream1WholeFromItsFirstFrame) {
	SKIP_WITHOUT_CORPUS();
	std::string out = check_stream("dnt-stream-1.dump", 878);
	auto first = test::run({test::program("obisdump"), "-"}, test::read_file(test::corpus_dir() + "/dnt-unknown-1.bin"));
	EXPECT_EQ(out.substr(0, first.out.size()), first.out);
}

// The recording stops inside frame 519, which is dropped with one line.
TEST(Corpus, DntStream2WholeUpToItsCutLastFrame) {
	SKIP_WITHOUT_CORPUS();
	check_stream("dnt-stream-2.dump", 518,
		     "obisdump: warning: frame of 259 bytes is cut short by the end of input, skipped\n");
}

// A frame that lost bytes on the line costs itself alone: the intact frames
// after it all print.
TEST(Corpus, DamagedFrameThenIntactOnes) {
	SKIP_WITHOUT_CORPUS();
	auto damaged = test::read_file(test::corpus_dir() + "/hager-unknown-3.bin");
	auto intact = test::read_file(test::corpus_dir() + "/hager-unknown-2.bin");
	std::vector<unsigned char> input = damaged;
	for (int i = 0; i < 10; i++)
		input.insert(input.end(), intact.begin(), intact.end());
	auto r = test::run({test::program("obisdump"), "-"}, input);
	auto alone = test::run({test::program("obisdump"), "-"}, intact);
	std::string ten;
	for (int i = 0; i < 10; i++)
		ten += alone.out;
	EXPECT_EQ(r.out, ten);
	EXPECT_EQ(r.err, "obisdump: warning: frame of " + std::to_string(damaged.size()) +
				 " bytes is cut short by a new start sequence, skipped\n");
	EXPECT_EQ(r.status, 0);
}

// One byte removed, inserted or flipped anywhere in a real stream costs at
// most the frame it lands in, and each lost frame is one line on stderr.
TEST(Corpus, DntStream1WithOneFault) {
	SKIP_WITHOUT_CORPUS();
	const auto clean = test::read_file(test::corpus_dir() + "/streams/dnt-stream-1.dump");
	std::mt19937 rng(1234);
	for (int round = 0; round < 200; round++) {
		auto in = clean;
		auto kind = static_cast<test::fault>(round % 3);
		SCOPED_TRACE(test::with_fault(in, kind, rng));
		auto r = test::run({test::program("obisdump"), "-"}, in);
		EXPECT_EQ(r.status, 0);
		auto out = lines_of(r.out);
		auto files = std::count_if(out.begin(), out.end(), [](const std::string &l) { return l.rfind("SML file (", 0) == 0; });
		auto err = lines_of(r.err);
		EXPECT_GE(files, 877);
		if (files == 877) {
			// A fault in the end block fails the frame before its end: the
			// few bytes of it left are a line of their own.
			ASSERT_GE(err.size(), 1u);
			ASSERT_LE(err.size(), 2u) << r.err;
			EXPECT_EQ(err[0].rfind("obisdump: warning: ", 0), 0u) << err[0];
			if (err.size() == 2) {
				bool rest = false;
				for (const char *n : {"1 byte", "2 bytes", "3 bytes", "4 bytes"})
					rest |= err[1] == std::string("obisdump: warning: ") + n + " outside any frame, skipped";
				EXPECT_TRUE(rest) << err[1];
			}
		} else if (!err.empty()) {
			// A byte inserted between two frames.
			EXPECT_EQ(kind, test::fault::inserted);
			EXPECT_EQ(r.err, "obisdump: warning: 1 byte outside any frame, skipped\n");
		}
	}
}

} // namespace
