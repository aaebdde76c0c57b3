// sml_readings: files in, readings out, and the same readings as the tree
// API gives for every file it reads whole.
#include <sml/sml_file.h>
#include <sml/sml_reading.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "mutation.hpp"
#include "readings.hpp"
#include "sml_test.hpp"

namespace {

using test::texts;

// A message around a body: the body starts at offset 10, the CRC is absent.
std::string message(const std::string &tag, const std::string &body) {
	return "76 01 62 00 62 00 72 63 " + tag + " " + body + " 01 00";
}

// A GetList response (server id 01 02, sensor time sec 10) around fewer
// than 15 entries: the first entry starts at offset 25 of its message.
std::string getlist(const std::vector<std::string> &entries) {
	std::string body = "77 01 03 01 02 01 72 62 01 65 00 00 00 0A 7" + std::string(1, "0123456789ABCDE"[entries.size()]);
	for (const auto &e : entries)
		body += " " + e;
	return message("07 01", body + " 01 01");
}

std::vector<std::string> readings_of(const std::string &hex, int *result = nullptr) {
	return texts(test::walk(test::bytes(hex), result));
}

// The tree's readings of a file it reads whole, and the walker's: the same
// lines, context and every field included. False when the tree gives up.
testing::AssertionResult agrees(const std::vector<unsigned char> &file) {
	testing::internal::CaptureStderr();
	auto tree = test::owned(sml_file_parse(file.data(), file.size()), sml_file_free);
	std::string diagnostics = testing::internal::GetCapturedStderr();
	if (tree->buf->error)
		return testing::AssertionFailure() << "the tree does not read it whole: " << diagnostics;
	auto from_tree = test::tree::readings(tree.get());
	auto walked = texts(test::walk(file), true);
	if (from_tree == walked)
		return testing::AssertionSuccess();
	auto out = testing::AssertionFailure();
	for (size_t i = 0; i < std::max(from_tree.size(), walked.size()); i++) {
		out << "\n tree " << (i < from_tree.size() ? from_tree[i] : "(none)");
		out << "\n walk " << (i < walked.size() ? walked[i] : "(none)");
	}
	return out;
}

const std::vector<std::string> every_kind = {
	// status of 3 bytes, val_time as a list, unit, scaler, value 987
	"77 07 01 00 01 08 00 FF 64 00 01 04 72 62 01 65 00 00 0E 10 62 1E 52 FF 63 03 DB 01",
	// bare val_time, signed value of 4 bytes
	"77 07 01 00 10 07 00 FF 01 65 00 00 0E 10 62 1B 52 00 55 FF FF FE D4 01",
	"77 07 81 81 C7 82 03 FF 01 01 01 01 04 45 4D 48 01",
	"77 07 01 00 60 05 00 FF 01 01 01 01 42 01 03 AB CD",
	// a name of four bytes, a local timestamp, a list-typed time value
	"77 05 01 02 03 04 01 72 62 03 73 65 00 00 0E 10 53 00 3C 53 00 00 01 01 72 62 01 72 62 02 65 00 00 00 05 01",
	"77 07 01 00 00 00 09 FF 01 01 01 01 69 FF FF FF FF FF FF FF FF 01",
	"77 07 01 00 00 00 09 FE 01 01 01 01 59 80 00 00 00 00 00 00 00 01",
};

TEST(Readings, EveryFieldOfAGetListEntry) {
	int result = 0;
	EXPECT_EQ(readings_of(getlist(every_kind), &result), (std::vector<std::string>{
		"1-0:1.8.0*255 = u987 e-1 u30 status 260 at sec:3600",
		"1-0:16.7.0*255 = i-300 e0 u27 at sec:3600",
		"129-129:199.130.3*255 = x(45 4D 48)",
		"1-0:96.5.0*255 = true sig AB CD",
		"01 02 03 04 = time(ts:5) at local:3600/60/0",
		"1-0:0.0.9*255 = u18446744073709551615",
		"1-0:0.0.9*254 = i-9223372036854775808",
	}));
	EXPECT_EQ(result, 7);
	EXPECT_TRUE(agrees(test::bytes(getlist(every_kind))));

	auto file = test::bytes(getlist(every_kind));
	auto r = test::walk(file);
	ASSERT_EQ(r.size(), 7u);
	EXPECT_EQ(test::full_text(r[1]), "m0 1793 p0 e1 server 01 02 sensor sec:10 | " + test::text(r[1]));
	const size_t offsets[] = {25, 53, 77, 94, 111, 147, 169};
	for (size_t i = 0; i < r.size(); i++) {
		EXPECT_EQ(r[i].offset, offsets[i]) << i;
		EXPECT_EQ(r[i].entry, i);
	}
	// Views point into the bytes walked.
	EXPECT_EQ(r[0].name.data, file.data() + 27);
	EXPECT_EQ(r[0].server_id.data, file.data() + 13);
	EXPECT_TRUE(r[0].flags & SML_READING_HAS_OBIS);
	EXPECT_EQ(test::hex(r[0].obis, 6), "01 00 01 08 00 FF");
	EXPECT_FALSE(r[4].flags & SML_READING_HAS_OBIS);
}

// Entries in the form meters send, which the walk reads in one pass, and
// each with one field in another form, which it reads the general way: the
// same readings as the tree, with enough bytes after them (three close
// responses) for either way to be taken.
TEST(Readings, UsualEntriesAndTheirVariantsAgreeWithTheTree) {
	const std::string name = "07 01 00 01 08 00 FF ";
	const std::vector<std::vector<std::string>> groups = {
		{
			"77 " + name + "01 01 62 1E 52 FF 59 00 00 00 00 00 00 30 39 01",
			"77 " + name + "61 01 01 01 65 00 00 00 01 01",       // status of no data bytes, nothing else
			"77 " + name + "62 82 01 62 1E 52 FF 51 01",          // signed value of no data bytes
			"77 " + name + "63 01 82 01 62 1B 52 00 53 FF 85 01", // negative 2-byte value
			"77 " + name + "66 01 02 03 04 05 01 01 01 61 01",    // 5-byte status, unsigned value of no data bytes
			"77 " + name + "69 FF FF FF FF FF FF FF FF 01 01 01 69 01 02 03 04 05 06 07 08 01",
			"77 01 01 01 01 01 0F 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 01", // no name, 14-byte string
			"77 02 AA 01 01 01 01 42 00 01",                      // one-byte name, false
			"77 0F 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 01 01 01 01 02 BB 01",
		},
		{
			"77 " + name + "01 65 00 00 0E 10 62 1E 52 FF 62 07 01", // bare time
			"77 " + name + "01 01 61 52 FF 62 07 01",                // unit of no data bytes
			"77 " + name + "01 01 62 1E 51 62 07 01",                // scaler of no data bytes
			"77 " + name + "01 01 62 1E 52 FF 62 07 02 AB",          // a signature
			"77 " + name + "01 01 62 1E 52 FF 72 62 01 72 62 01 65 00 00 00 05 01", // list-typed time
			"77 " + name + "01 01 62 1E 52 FF 81 02 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 01", // 2-byte TL
			// 2-byte TL of 33 data bytes, whose first byte alone reads as a
			// one-byte string followed by an absent signature
			"77 " + name + "01 01 62 1E 52 FF 82 03 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F 20 21 01",
			"77 " + name + "01 01 62 1E 52 FF 54 80 00 01 01",       // 3-byte value
			// integers whose type-length fields take two bytes: a 4-byte
			// status and value, of the widths their content needs
			"77 " + name + "E0 06 00 00 01 82 01 62 1E 52 FF E0 06 00 00 01 00 01",
			"77 " + name + "01 01 62 1E 52 FF D0 0A FF FF FF FF FF FF FF FE 01",
		},
	};
	const std::string close = message("02 01", "71 01");
	for (const auto &entries : groups) {
		auto file = test::bytes(getlist(entries) + " " + close + " " + close + " " + close);
		EXPECT_TRUE(agrees(file));
		EXPECT_EQ(test::walk(file).size(), entries.size());
	}
}

TEST(Readings, MessagesAndTheirPadding) {
	const std::string entry = "77 07 01 00 01 08 00 FF 01 01 62 1E 52 FF 63 03 DB 01";
	const std::string open = message("01 01", "76 01 01 01 01 01 01");
	const std::string close = message("02 01", "71 01");
	// Tags at every width the tree accepts, zero bytes anywhere between.
	const std::string file = "00 00 " + open + " " + getlist({entry}) + " 00 00 00 " +
				 "76 01 62 00 62 00 72 65 00 00 07 01 77 01 01 01 01 71 " + entry + " 01 01 01 " + close +
				 " 00 00 00";
	auto bytes = test::bytes(file);
	auto r = test::walk(bytes);
	ASSERT_EQ(r.size(), 2u);
	EXPECT_EQ(r[0].message, 1u);
	EXPECT_EQ(r[1].message, 2u);
	EXPECT_EQ(r[1].server_id.data, nullptr);
	EXPECT_EQ(r[1].sensor_time.kind, SML_READING_TIME_NONE);
	EXPECT_TRUE(agrees(test::bytes(file)));

	// Nothing to walk is no failure.
	int result = -5;
	EXPECT_TRUE(readings_of("", &result).empty());
	EXPECT_EQ(result, 0);
	EXPECT_TRUE(readings_of("00 00 00 00", &result).empty());
	EXPECT_EQ(result, 0);
	EXPECT_TRUE(readings_of(open + " " + close, &result).empty());
	EXPECT_EQ(result, 0);
	EXPECT_TRUE(readings_of(message("07 01", "77 01 01 01 01 01 01 01"), &result).empty()); // no value list
	EXPECT_EQ(result, 0);
}

TEST(Readings, WalksOnlyWhatOpensAsAMessage) {
	auto noop = [](const sml_reading *, void *) { return 0; };
	const unsigned char frame[] = {0x1B, 0x1B, 0x1B, 0x1B, 0x01, 0x01, 0x01, 0x01};
	EXPECT_EQ(sml_readings(nullptr, 3, noop, nullptr), SML_READINGS_NO_INPUT);
	EXPECT_EQ(sml_readings(frame, sizeof frame, nullptr, nullptr), SML_READINGS_NO_INPUT);
	EXPECT_EQ(sml_readings(nullptr, 0, noop, nullptr), 0);

	// A transport frame where a file belongs has a code of its own, from the
	// walk and from the cursor; all else that opens no message stays as it was.
	const struct {
		const char *hex;
		int result;
	} cases[] = {
		{"1B 1B 1B 1B 01 01 01 01", SML_READINGS_TRANSPORT_FRAME},
		{"1B 1B 1B 1B 01 01 01 01 76 05 01 1B 1B 1B 1B 1A 00 12 34", SML_READINGS_TRANSPORT_FRAME},
		{"00 00 1B 1B 1B 1B 01 01 01 01 76", SML_READINGS_TRANSPORT_FRAME},
		{"1B 1B 1B 1B 01 01 01", SML_READINGS_NO_MESSAGE},
		{"1B 1B 1B 1B 01 01 01 02", SML_READINGS_NO_MESSAGE},
		{"1B 1B 1B 1B 1A 00 12 34", SML_READINGS_NO_MESSAGE},
		{"1B 1B 1B 01 01 01 01 1B", SML_READINGS_NO_MESSAGE},
		{"AA 1B 1B 1B 1B 01 01 01 01", SML_READINGS_NO_MESSAGE},
		{"00 72 01 01", SML_READINGS_NO_MESSAGE},
		{"00 00", 0},
	};
	for (const auto &c : cases) {
		auto bytes = test::bytes(c.hex);
		EXPECT_EQ(sml_readings(bytes.data(), bytes.size(), noop, nullptr), c.result) << c.hex;
		sml_reading_cursor cursor;
		sml_reading r;
		sml_reading_cursor_init(&cursor, bytes.data(), bytes.size());
		EXPECT_EQ(sml_reading_next(&cursor, &r), c.result) << c.hex;
		EXPECT_EQ(sml_reading_next(&cursor, &r), 0) << c.hex;
	}
}

TEST(Readings, EveryReasonHasItsOwnText) {
	std::set<std::string> texts;
	for (int r = SML_READING_OK; r <= SML_READING_BROKEN; r++) {
		const char *text = sml_reading_reason_text(static_cast<sml_reading_reason>(r));
		ASSERT_NE(text, nullptr) << r;
		EXPECT_NE(text[0], '\0') << r;
		texts.insert(text);
	}
	EXPECT_EQ(texts.size(), 12u);
	EXPECT_STREQ(sml_reading_reason_text(SML_READING_BAD_VALUE), "unreadable value");
	EXPECT_STREQ(sml_reading_reason_text(static_cast<sml_reading_reason>(SML_READING_BROKEN + 1)), "unknown reason");
}

// Entries the tree rejects are reported where they stand and stepped over;
// the entries around them and the messages after them still come.
TEST(Readings, UnreadableEntriesAreReportedAndSteppedOver) {
	const std::string good = "77 07 01 00 01 08 00 FF 01 01 62 1E 52 FF 63 03 DB 01"; // 18 bytes
	const std::vector<std::string> entries = {
		good,
		"77 07 01 00 01 08 00 FF 01 01 62 1E 52 FF 72 62 05 62 01 01",       // list-typed value of tag 5
		"76 07 01 00 01 08 00 FF 01 01 62 1E 52 FF 63 03 DB",                // six fields
		"77 07 01 00 01 08 00 FF 01 01 52 1E 52 FF 63 03 DB 01",             // a signed unit
		"77 07 01 00 01 08 00 FF 52 08 01 62 1E 52 FF 63 03 DB 01",          // a signed status
		"77 07 01 00 01 08 00 FF 01 72 62 01 52 05 62 1E 52 FF 63 03 DB 01", // a signed time
		"77 62 01 01 01 62 1E 52 FF 63 03 DB 01",                            // a number as name
		"77 07 01 00 01 08 00 FF 01 01 62 1E 62 FF 63 03 DB 01",             // an unsigned scaler
		"77 07 01 00 01 08 00 FF 01 01 62 1E 52 FF 63 03 DB 62 01",          // a number as signature
		"77 07 01 00 01 08 00 FF 01 01 62 1E 52 FF 6A 00 00 00 00 00 00 00 00 01 01", // nine data bytes
		good,
	};
	const std::string close = message("02 01", "71 01");
	const std::string file = getlist(entries) + " " + close;
	int result = 0;
	EXPECT_EQ(readings_of(file, &result), (std::vector<std::string>{
		"1-0:1.8.0*255 = u987 e-1 u30",
		"BAD_VALUE @43",
		"BAD_ENTRY @63",
		"BAD_UNIT @80",
		"BAD_STATUS @98",
		"BAD_VAL_TIME @117",
		"BAD_OBJ_NAME @139",
		"BAD_SCALER @152",
		"BAD_SIGNATURE @170",
		"BAD_VALUE @189",
		"1-0:1.8.0*255 = u987 e-1 u30",
	}));
	EXPECT_EQ(result, 11);
	auto bytes = test::bytes(file);
	auto r = test::walk(bytes);
	EXPECT_EQ(r[3].entry, 3u);
	EXPECT_EQ(r[3].name.data, nullptr);
	EXPECT_EQ(r[3].flags, 0u);
	EXPECT_EQ(r[3].kind, SML_READING_NONE);
	EXPECT_EQ(r[3].server_id.len, 2u); // the response's fields stay
	EXPECT_EQ(r[10].entry, 10u);

	// The tree gives up on the same file.
	testing::internal::CaptureStderr();
	auto tree = test::owned(sml_file_parse(bytes.data(), bytes.size()), sml_file_free);
	testing::internal::GetCapturedStderr();
	EXPECT_EQ(tree->messages_len, 0);
}

TEST(Readings, ResponsesThatFailAreSteppedOver) {
	const std::string entry = "77 07 01 00 01 08 00 FF 01 01 62 1E 52 FF 63 03 DB 01";
	const std::string bodies[] = {
		"77 01 62 01 01 01 71 " + entry + " 01 01",             // a number as server id
		"77 01 01 01 72 62 01 52 01 71 " + entry + " 01 01",    // a signed sensor time
		"77 01 01 01 01 02 AA 01 01",                           // an octet string as value list
		"76 01 01 01 01 01 01",                                 // six fields
	};
	for (const auto &body : bodies) {
		SCOPED_TRACE(body);
		// The views of a reading point into the bytes: they must outlive it.
		auto bytes = test::bytes(message("07 01", body) + " " + getlist({entry}));
		auto r = test::walk(bytes);
		EXPECT_EQ(texts(r), (std::vector<std::string>{"BAD_RESPONSE @10", "1-0:1.8.0*255 = u987 e-1 u30"}));
		ASSERT_EQ(r.size(), 2u);
		EXPECT_EQ(r[0].body, static_cast<uint32_t>(SML_BODY_GET_LIST_RESPONSE));
		EXPECT_EQ(r[0].server_id.data, nullptr);
		EXPECT_EQ(r[1].message, 1u);
	}
}

// Where the structure breaks, the walk ends with a reading that says where.
TEST(Readings, BrokenStructureEndsTheWalk) {
	const std::string entry = "77 07 01 00 01 08 00 FF 01 01 62 1E 52 FF 63 03 DB 01";
	const struct {
		std::string file;
		std::vector<std::string> readings;
	} cases[] = {
		// A stray zero-length octet TL in an entry leaves a byte that is no element.
		{getlist({entry, entry + " 00", entry}),
		 {"1-0:1.8.0*255 = u987 e-1 u30", "1-0:1.8.0*255 = u987 e-1 u30", "BROKEN @61"}},
		// Three entries announced, two there: the list signature is taken for
		// the third, and the CRC is then found where the end byte stands.
		{getlist({entry, entry}).replace(73, 1, "3") + " " + message("02 01", "71 01"),
		 {"1-0:1.8.0*255 = u987 e-1 u30", "1-0:1.8.0*255 = u987 e-1 u30", "BAD_ENTRY @61", "BROKEN @64"}},
		// Bytes after a message that open no message.
		{getlist({entry}) + " 62 01", {"1-0:1.8.0*255 = u987 e-1 u30", "BROKEN @47"}},
		// A message envelope the tree rejects: a group id of two bytes.
		{getlist({entry}) + " 76 01 63 00 00 62 00 72 63 02 01 71 01 01 00", {"1-0:1.8.0*255 = u987 e-1 u30", "BROKEN @49"}},
		// A CRC of three bytes.
		{getlist({entry}).replace(getlist({entry}).size() - 5, 2, "64 00 00 00"), {"1-0:1.8.0*255 = u987 e-1 u30", "BROKEN @45"}},
		// A list count of 2^31, which would wrap below zero, in a body
		// without readings and in a value list: the tree fails there too.
		{message("04 00", "79 01 01 01 01 01 01 01 F8 80 80 80 80 80 80 00 01") + " " + getlist({entry}),
		 {"BROKEN @10"}},
		{message("07 01", "77 01 03 01 02 01 01 F8 80 80 80 80 80 80 00 01 01") + " " + getlist({entry}),
		 {"BROKEN @10"}},
		// A body tag that is absent.
		{"76 01 62 00 62 00 72 01 71 01 01 00", {"BROKEN @7"}},
		// A time whose list header runs over eight type-length bytes (read
		// as eight, the rest would make an entry), and a list-typed value
		// holding no element: neither entry can be stepped over.
		{getlist({entry, "77 07 01 00 01 08 00 FF 01 72 62 03 F0 80 80 80 80 80 80 80 65 00 00 0E 10 53 00 3C"
				 " 53 00 00 62 1E 52 FF 63 03 DB 01"}),
		 {"1-0:1.8.0*255 = u987 e-1 u30", "BROKEN @43"}},
		{getlist({entry, "77 07 01 00 01 08 00 FF 01 01 62 1E 52 FF 72 62 02 20 01", entry}),
		 {"1-0:1.8.0*255 = u987 e-1 u30", "BROKEN @43"}},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.file);
		int result = 0;
		EXPECT_EQ(readings_of(c.file, &result), c.readings);
		EXPECT_EQ(result, static_cast<int>(c.readings.size()));
	}
}

// A message of a tag no body is known for is stepped over by its structure,
// as the tree does: the readings after it still come.
TEST(Readings, UnknownBodiesAreSteppedOver) {
	const std::string entry = "77 07 01 00 01 08 00 FF 01 01 62 1E 52 FF 63 03 DB 01";
	for (const std::string &vendor : {message("01 02", "71 01"), message("FF 10", "73 62 01 72 01 01 07 41 42 43 44 45 46"),
					  message("FF 10", "01")}) {
		SCOPED_TRACE(vendor);
		const std::string file = vendor + " " + getlist({entry});
		int result = 0;
		EXPECT_EQ(readings_of(file, &result), std::vector<std::string>{"1-0:1.8.0*255 = u987 e-1 u30"});
		EXPECT_EQ(result, 1);
		EXPECT_TRUE(agrees(test::bytes(file)));
	}
}

TEST(Readings, CallbackStopsTheWalk) {
	auto file = test::bytes(getlist(every_kind));
	struct seen {
		int calls = 0;
		int stop_at;
	};
	for (int stop_at = 1; stop_at <= 7; stop_at++) {
		seen s{0, stop_at};
		int n = sml_readings(
			file.data(), file.size(),
			[](const sml_reading *, void *ctx) {
				auto *s = static_cast<seen *>(ctx);
				return ++s->calls == s->stop_at ? 1 : 0;
			},
			&s);
		EXPECT_EQ(n, stop_at);
		EXPECT_EQ(s.calls, stop_at);
	}
}

// The cursor gives the readings the callback gets, one call at a time, and
// stays at its end.
TEST(Readings, CursorPullsTheSameReadings) {
	auto file = test::bytes(getlist(every_kind) + " " + getlist(every_kind));
	sml_reading_cursor c;
	sml_reading_cursor_init(&c, file.data(), file.size());
	std::vector<std::string> pulled;
	sml_reading r;
	while (sml_reading_next(&c, &r) == 1)
		pulled.push_back(test::full_text(r));
	EXPECT_EQ(pulled, texts(test::walk(file), true));
	EXPECT_EQ(pulled.size(), 14u);
	EXPECT_EQ(sml_reading_next(&c, &r), 0);

	sml_reading_cursor_init(&c, nullptr, 4);
	EXPECT_EQ(sml_reading_next(&c, &r), SML_READINGS_NO_INPUT);
	EXPECT_EQ(sml_reading_next(&c, &r), 0);
	EXPECT_EQ(sml_reading_next(nullptr, &r), SML_READINGS_NO_INPUT);
}

// Profile-list: every period entry, with the response's time and status.
// Profile-pack: every value of every period, named by its header.
TEST(Readings, ProfileResponses) {
	const std::string period_entry = "75 07 01 00 01 08 00 FF 62 1E 52 FF 62 05 01";
	const std::string list = message("04 01", "79 03 01 02 72 62 01 65 00 00 00 09 62 0F 71 02 BB 72 62 02 65 00 00 00 64 62 08 73 " +
							  period_entry + " 01 " + period_entry + " 01 01");
	EXPECT_EQ(readings_of(list), (std::vector<std::string>{
		"1-0:1.8.0*255 = u5 e-1 u30 status 8 at ts:100",
		"1-0:1.8.0*255 = u5 e-1 u30 status 8 at ts:100",
	}));
	EXPECT_TRUE(agrees(test::bytes(list)));
	auto list_bytes = test::bytes(list);
	auto r = test::walk(list_bytes);
	EXPECT_EQ(r[1].entry, 2u); // the absent entry between keeps its place
	EXPECT_EQ(r[1].body, static_cast<uint32_t>(SML_BODY_GET_PROFILE_LIST_RESPONSE));
	EXPECT_EQ(test::time_text(r[1].sensor_time), "sec:9");

	const std::string headers = "72 73 07 01 00 01 08 00 FF 62 1E 52 FF 73 07 01 00 02 08 00 FF 62 1E 52 00";
	const std::string period1 = "74 72 62 01 65 00 00 00 01 62 05 73 72 62 07 01 72 62 08 02 AA 72 62 09 01 01";
	const std::string period2 = "74 72 62 01 65 00 00 00 02 01 71 72 62 0A 01 01";
	const std::string pack = message("03 01", "78 01 01 01 01 " + headers + " 73 " + period1 + " 74 01 01 01 01 " +
							  period2 + " 01 01");
	EXPECT_EQ(readings_of(pack), (std::vector<std::string>{
		"1-0:1.8.0*255 = u7 e-1 u30 status 5 at sec:1",
		"1-0:2.8.0*255 = u8 e0 u30 status 5 at sec:1 sig AA",
		"- = u9 status 5 at sec:1", // a value without header
		"BAD_PERIOD @67", // its value list is absent
		"1-0:1.8.0*255 = u10 e-1 u30 at sec:2",
	}));
	auto pack_bytes = test::bytes(pack);
	r = test::walk(pack_bytes);
	EXPECT_EQ(r[2].period, 0u);
	EXPECT_EQ(r[2].entry, 2u);
	EXPECT_EQ(r[3].period, 1u);
	EXPECT_EQ(r[4].period, 2u);
	EXPECT_EQ(r[4].entry, 0u);

	const std::string good_pack = message("03 01", "78 01 01 01 01 " + headers + " 72 " + period1 + " " + period2 + " 01 01");
	EXPECT_TRUE(agrees(test::bytes(good_pack)));
	// A header entry that fails fails the response, as in the tree.
	const std::string bad_header = message("03 01", "78 01 01 01 01 71 73 07 01 00 01 08 00 FF 62 1E 62 FF 71 " + period2 + " 01 01");
	EXPECT_EQ(readings_of(bad_header), std::vector<std::string>{"BAD_RESPONSE @10"});
}

// A file cut anywhere gives the readings before the cut and then says where
// the structure broke; the sanitizer builds check that no byte past the cut
// is read.
TEST(Readings, EveryPrefixOfAFile) {
	const std::string entry = "77 07 01 00 01 08 00 FF 01 01 62 1E 52 FF 63 03 DB 01";
	const std::string pack = message("03 01", "78 01 01 01 01 71 73 07 01 00 01 08 00 FF 62 1E 52 FF 71 74 72 62 01 65 00 00 00 01 62 05 71 72 62 07 01 01 01 01");
	const std::string fixtures[] = {
		getlist(every_kind) + " " + message("02 01", "71 01"),
		message("01 01", "76 01 01 01 01 01 01") + " " + getlist({entry, entry}) + " 00 00",
		pack,
	};
	for (const auto &hex : fixtures) {
		auto whole = test::bytes(hex);
		auto full = texts(test::walk(whole));
		for (size_t cut = 0; cut < whole.size(); cut++) {
			SCOPED_TRACE(cut);
			// A copy of exactly the prefix, so that the sanitizers catch a read past it.
			std::vector<unsigned char> prefix(whole.begin(), whole.begin() + static_cast<long>(cut));
			auto got = texts(test::walk(prefix));
			if (!got.empty() && got.back().rfind("BROKEN", 0) == 0)
				got.pop_back();
			ASSERT_LE(got.size(), full.size());
			EXPECT_TRUE(std::equal(got.begin(), got.end(), full.begin()));
		}
	}
}

// Malformed files: the walk never reads outside them (the sanitizer builds
// check), and whenever the tree still reads one whole, the two agree.
#ifndef ROUNDS
#define ROUNDS 600
#endif
TEST(Readings, MutatedFilesAgreeWithTheTreeWheneverItReadsThemWhole) {
	std::vector<std::vector<unsigned char>> seeds = {
		test::bytes(getlist(every_kind) + " " + message("02 01", "71 01")),
		test::bytes(message("04 01", "79 03 01 02 01 62 0F 01 72 62 02 65 00 00 00 64 62 08 72 "
					     "75 07 01 00 01 08 00 FF 62 1E 52 FF 62 05 01 01 01 01")),
		test::bytes(message("03 01", "78 01 01 01 01 71 73 07 01 00 01 08 00 FF 62 1E 52 FF 71 74 72 62 01 "
					     "65 00 00 00 01 62 05 72 72 62 07 01 72 72 62 01 72 62 01 65 00 00 00 01 01 01 01 01")),
	};
	if (test::have_corpus())
		for (const auto &e : std::filesystem::directory_iterator(test::corpus_dir()))
			if (e.path().extension() == ".bin") {
				auto frame = test::read_file(e.path());
				seeds.emplace_back(frame.begin() + 8, frame.end() - 8);
			}
	sml_set_diagnostic_handler([](const char *, void *) {}, nullptr);
	uint32_t state = 0x2545F491;
	int whole = 0;
	for (const auto &seed : seeds)
		for (int i = 0; i < ROUNDS; i++) {
			auto m = test::mutated(seed, state);
			auto tree = test::owned(sml_file_parse(m.data(), m.size()), sml_file_free);
			if (tree->buf->error) {
				test::walk(m);
				continue;
			}
			whole++;
			EXPECT_TRUE(agrees(m)) << test::hex(m.data(), m.size());
		}
	sml_set_diagnostic_handler(nullptr, nullptr);
	// Enough files the tree reads whole to compare: fewer from the three
	// hand-written seeds alone than with the captures.
	EXPECT_GT(whole, test::have_corpus() ? 300 : 100);
}

TEST(Readings, AgreeWithTheTreeOnEveryCorpusFrame) {
	SKIP_WITHOUT_CORPUS();
	int compared = 0;
	for (const auto &e : std::filesystem::directory_iterator(test::corpus_dir())) {
		if (e.path().extension() != ".bin")
			continue;
		SCOPED_TRACE(e.path().filename().string());
		auto frame = test::read_file(e.path());
		if (frame.size() < 16)
			continue;
		std::vector<unsigned char> file(frame.begin() + 8, frame.end() - 8);
		testing::internal::CaptureStderr();
		auto tree = test::owned(sml_file_parse(file.data(), file.size()), sml_file_free);
		testing::internal::GetCapturedStderr();
		if (tree->buf->error)
			continue;
		EXPECT_TRUE(agrees(file));
		compared++;
	}
	EXPECT_GE(compared, 20);
}

// An SML 1.05 meter: local timestamps, a time as value. Every entry comes.
TEST(Readings, Emh105GivesAllItsReadings) {
	SKIP_WITHOUT_CORPUS();
	auto frame = test::read_file(test::corpus_dir() + "/emh-unknown-1.bin");
	ASSERT_GT(frame.size(), 16u);
	std::vector<unsigned char> file(frame.begin() + 8, frame.end() - 8);
	EXPECT_EQ(texts(test::walk(file)), (std::vector<std::string>{
		"129-130:129.84.1*255 = x(42 2C CD 8C) at local:1729848098/60/60",
		"1-0:1.17.0*255 = i40508 e-1 u30 status 8 at local:1729848099/60/60",
		"129-0:96.8.0*1 = time(sec:1982288)",
		"129-128:129.113.1*255 = u15",
	}));
	EXPECT_TRUE(agrees(file));
}

} // namespace
