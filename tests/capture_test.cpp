// Captures read in one call (sml_capture.h): the stream decoder finds the
// good frames among noise and damage, and each one's readings are walked.
#include <sml/sml_capture.h>
#include <zelkor/zelkor.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "frame.hpp"
#include "json.hpp"
#include "process.hpp"
#include "readings.hpp"
#include "sml_test.hpp"

namespace {

// GetList responses of two entries each, every field but the values alike:
// energy at -1 in Wh and power in W.
std::vector<unsigned char> get_list_file(const std::string &energy, const std::string &power) {
	return test::bytes("76 01 62 00 62 00 72 63 07 01 77 01 03 01 02 01 01 72"
			   " 77 07 01 00 01 08 00 FF 01 01 62 1E 52 FF " + energy + " 01"
			   " 77 07 01 00 10 07 00 FF 01 01 62 1B 52 00 " + power + " 01"
			   " 01 01 01 00");
}
const auto file_a = get_list_file("65 00 12 D6 44", "52 FB"); // 123450.0 Wh, -5 W
const auto file_b = get_list_file("65 00 00 30 39", "52 07"); // 1234.5 Wh, 7 W

// What a capture gave: each reading with the frame it came from, and each drop.
struct events {
	std::vector<std::string> readings;
	std::vector<sml_stream_drop> drops;
	int stop_after = 0; // readings or drops; 0: never stop
};

int on_reading(const sml_reading *r, const sml_stream_frame *f, void *ctx) {
	auto *e = static_cast<events *>(ctx);
	e->readings.push_back("frame @" + std::to_string(f->offset) + " | " + test::text(*r));
	return e->stop_after && e->readings.size() + e->drops.size() >= static_cast<size_t>(e->stop_after);
}

int on_drop(const sml_stream_drop *d, void *ctx) {
	auto *e = static_cast<events *>(ctx);
	e->drops.push_back(*d);
	return e->stop_after && e->readings.size() + e->drops.size() >= static_cast<size_t>(e->stop_after);
}

int capture_readings(const std::vector<unsigned char> &capture, size_t area_len, events &e) {
	std::vector<unsigned char> area(area_len);
	return sml_capture_readings(capture.data(), capture.size(), area.data(), area.size(), on_reading, on_drop, &e);
}

std::vector<std::string> framed_texts(uint64_t offset, const std::vector<unsigned char> &file) {
	std::vector<std::string> out;
	for (const auto &t : test::texts(test::walk(file)))
		out.push_back("frame @" + std::to_string(offset) + " | " + t);
	return out;
}

// Noise, a frame that fails its CRC, noise, a good frame: the good frame's
// readings, told where it stood, and every other byte in a drop.
TEST(Capture, ReadsTheGoodFrameAmongNoiseAndDamage) {
	auto damaged = test::framed(file_b);
	damaged[20] ^= 0x10;
	auto good = test::framed(file_a);
	auto capture = test::joined({test::bytes("AA BB CC"), damaged, test::bytes("00 FF 1B 1B 01"), good});
	uint64_t good_at = capture.size() - good.size();

	events e;
	EXPECT_EQ(capture_readings(capture, 256, e), 2);
	EXPECT_EQ(e.readings, framed_texts(good_at, file_a));
	uint64_t dropped = 0;
	bool bad_crc = false;
	for (const auto &d : e.drops) {
		EXPECT_EQ(d.offset, dropped);
		dropped += d.count;
		bad_crc = bad_crc || d.reason == SML_STREAM_BAD_CRC;
	}
	EXPECT_EQ(dropped, good_at);
	EXPECT_TRUE(bad_crc);

	// The same with the damage after the good frame, and without listening
	// for drops.
	capture = test::joined({good, test::bytes("00 FF"), damaged});
	std::vector<unsigned char> area(capture.size());
	events quiet;
	EXPECT_EQ(sml_capture_readings(capture.data(), capture.size(), area.data(), area.size(), on_reading, nullptr,
				       &quiet),
		  2);
	EXPECT_EQ(quiet.readings, framed_texts(0, file_a));
}

TEST(Capture, WhatEachCaptureGives) {
	auto a = test::framed(file_a);
	auto b = test::framed(file_b);
	auto both = framed_texts(0, file_a);
	for (const auto &line : framed_texts(a.size(), file_b))
		both.push_back(line);
	const struct {
		const char *what;
		std::vector<unsigned char> capture;
		size_t area;
		int result;
		std::vector<std::string> readings;
	} cases[] = {
		{"nothing", {}, 64, SML_CAPTURE_NO_FRAME, {}},
		{"noise", test::bytes("AA 1B 1B 1B 1B 01 01"), 64, SML_CAPTURE_NO_FRAME, {}},
		{"a frame cut short", std::vector<unsigned char>(a.begin(), a.end() - 3), 256, SML_CAPTURE_NO_FRAME, {}},
		{"a frame longer than the area", a, 64, SML_CAPTURE_NO_FRAME, {}},
		{"two frames", test::joined({a, b}), 256, 4, both},
		{"a frame without readings", test::framed(test::bytes("00 00 00 00")), 64, 0, {}},
		// A good frame around bytes that are no SML file: said by one
		// reading, where the walk would have found a message.
		{"a frame of other bytes", test::framed(test::bytes("00 00 AA BB")), 64, 1, {"frame @0 | BROKEN @2"}},
		{"a frame around a frame", test::framed(test::bytes("1B 1B 1B 1B 01 01 01 01 00 00 00 00")), 64, 1,
		 {"frame @0 | BROKEN @0"}},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.what);
		events e;
		EXPECT_EQ(capture_readings(c.capture, c.area, e), c.result);
		EXPECT_EQ(e.readings, c.readings);
	}

	events e;
	std::vector<unsigned char> area(64);
	EXPECT_EQ(sml_capture_readings(a.data(), a.size(), area.data(), area.size(), nullptr, on_drop, &e),
		  SML_CAPTURE_NO_INPUT);
	EXPECT_EQ(sml_capture_readings(nullptr, 3, area.data(), area.size(), on_reading, on_drop, &e), SML_CAPTURE_NO_INPUT);
	EXPECT_EQ(sml_capture_readings(a.data(), a.size(), nullptr, 64, on_reading, on_drop, &e), SML_CAPTURE_NO_INPUT);
	EXPECT_EQ(sml_capture_readings(nullptr, 0, area.data(), area.size(), on_reading, on_drop, &e), SML_CAPTURE_NO_FRAME);
	EXPECT_EQ(sml_capture_readings(a.data(), a.size(), nullptr, 0, on_reading, on_drop, &e), SML_CAPTURE_NO_FRAME);
	ASSERT_FALSE(e.drops.empty());
	EXPECT_EQ(e.drops[0].reason, SML_STREAM_TOO_LONG);
	EXPECT_TRUE(e.readings.empty());
}

// Either callback stops the whole call at once.
TEST(Capture, CallbacksStopIt) {
	auto capture = test::joined({test::bytes("AA"), test::framed(file_a), test::framed(file_b), test::bytes("BB")});
	const struct {
		int stop_after;
		int result;
		size_t readings;
		size_t drops;
	} cases[] = {
		{1, SML_CAPTURE_NO_FRAME, 0, 1}, // at the noise
		{2, 1, 1, 1},                    // at the first reading
		{4, 3, 3, 1},                    // at the first reading of the second frame
		{0, 4, 4, 2},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.stop_after);
		events e;
		e.stop_after = c.stop_after;
		EXPECT_EQ(capture_readings(capture, 256, e), c.result);
		EXPECT_EQ(e.readings.size(), c.readings);
		EXPECT_EQ(e.drops.size(), c.drops);
	}
}

// obis, value and unit code of a reading as obisdump --json gives them; a
// point in time only as such, whatever its form.
std::string json_line(const test::json::value &v) {
	std::string line = v.find("obis")->text;
	if (const auto *value = v.find("value")) {
		if (value->kind != test::json::value::string)
			line += " " + value->text;
		else if (value->text.find(':') != std::string::npos)
			line += " (point in time)";
		else
			line += " \"" + value->text + "\"";
	}
	if (const auto *unit = v.find("unit_code"))
		line += " u" + unit->text;
	return line;
}

// The same for a reading of the library; empty for one obisdump does not print.
std::string reading_line(const zelkor::reading &r) {
	if (!r.readable() || r.kind == SML_READING_NONE || !r.obis())
		return "";
	std::string line = r.obis()->to_string();
	if (auto n = r.number()) {
		line += " " + n->to_string();
	} else if (auto b = r.boolean()) {
		line += *b ? " true" : " false";
	} else if (auto t = r.time()) {
		bool count = t->kind == SML_READING_TIME_SEC_INDEX || t->kind == SML_READING_TIME_OTHER;
		line += count ? " " + std::to_string(t->seconds) : t->kind != SML_READING_TIME_NONE ? " (point in time)" : "";
	} else {
		line += " \"";
		for (unsigned char byte : r.bytes()) {
			line += "0123456789abcdef"[byte >> 4];
			line += "0123456789abcdef"[byte & 15];
		}
		line += "\"";
	}
	if (auto u = r.unit_code())
		line += " u" + std::to_string(*u);
	return line;
}

std::vector<std::string> obisdump_lines(const std::vector<unsigned char> &capture) {
	auto run = test::run({test::program("obisdump"), "--json", "-"}, capture);
	EXPECT_EQ(run.status, 0);
	std::vector<std::string> lines;
	for (const auto &text : test::lines_of(run.out)) {
		auto v = test::json::parse(text);
		if (!v || v->kind != test::json::value::object) {
			ADD_FAILURE() << "not a JSON object: " << text;
			continue;
		}
		if (v->find("obis"))
			lines.push_back(json_line(*v));
	}
	return lines;
}

// Every capture of the corpus, whole transport frames as meters sent them,
// read in one call from C and from C++, and through the C++ decoder fed in
// small chunks: the readings obisdump prints, no more, no fewer.
TEST(Capture, CorpusCapturesGiveTheReadingsObisdumpPrints) {
	SKIP_WITHOUT_CORPUS();
	int with_readings = 0;
	for (const auto &entry : std::filesystem::directory_iterator(test::corpus_dir())) {
		if (entry.path().extension() != ".bin")
			continue;
		SCOPED_TRACE(entry.path().filename().string());
		auto capture = test::read_file(entry.path());
		auto expected = obisdump_lines(capture);
		with_readings += !expected.empty();
		std::vector<unsigned char> area(capture.size());

		std::vector<std::string> from_c;
		int n = sml_capture_readings(
			capture.data(), capture.size(), area.data(), area.size(),
			[](const sml_reading *r, const sml_stream_frame *, void *ctx) {
				zelkor::reading each;
				static_cast<sml_reading &>(each) = *r;
				if (auto line = reading_line(each); !line.empty())
					static_cast<std::vector<std::string> *>(ctx)->push_back(line);
				return 0;
			},
			nullptr, &from_c);
		EXPECT_EQ(from_c, expected);
		if (n < 0) {
			EXPECT_EQ(n, SML_CAPTURE_NO_FRAME);
			EXPECT_TRUE(expected.empty());
		}

		std::vector<std::string> from_cxx;
		int m = zelkor::for_each_capture_reading(capture, area, [&](const zelkor::reading &r) {
			if (auto line = reading_line(r); !line.empty())
				from_cxx.push_back(line);
		});
		EXPECT_EQ(from_cxx, expected);
		EXPECT_EQ(m, n);

		std::vector<std::string> decoded;
		zelkor::decoder d(area, [&](const zelkor::stream_frame &f) {
			for (const zelkor::reading &r : f.readings())
				if (auto line = reading_line(r); !line.empty())
					decoded.push_back(line);
		});
		for (size_t at = 0; at < capture.size(); at += 7)
			d.feed(std::span(capture).subspan(at, std::min<size_t>(7, capture.size() - at)));
		d.finish();
		EXPECT_EQ(decoded, expected);
	}
	EXPECT_GE(with_readings, 20);
}

} // namespace
