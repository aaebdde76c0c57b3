// Times in their wire forms, and status words of every width.
#include <sml/sml_status.h>
#include <sml/sml_time.h>

#include "sml_test.hpp"

namespace {

auto tm(sml_time *t) { return test::owned(t, sml_time_free); }

TEST(Time, ParsesAndWritesTheListForm) {
	struct {
		const char *wire;
		u8 tag;
		u32 seconds;
		const char *rewritten;
	} cases[] = {
		{"72 62 01 65 00 00 0E 10", 1, 3600, "72 62 01 65 00 00 0E 10"},
		{"72 62 02 63 0E 10", 2, 3600, "72 62 02 65 00 00 0E 10"},
		// A bare seconds index where the list belongs, as one meter family sends it.
		{"65 05 47 1C 2A", 1, 0x05471C2A, "72 62 01 65 05 47 1C 2A"},
		{"63 0E 10", 1, 3600, "72 62 01 65 00 00 0E 10"},
	};
	for (auto &c : cases) {
		auto buf = test::parse_buf(c.wire);
		auto t = tm(sml_time_parse(buf.get()));
		ASSERT_NE(t, nullptr) << c.wire;
		ASSERT_NE(t->tag, nullptr);
		ASSERT_NE(t->data.sec_index, nullptr);
		EXPECT_EQ(*t->tag, c.tag);
		EXPECT_EQ(*t->data.sec_index, c.seconds);
		EXPECT_EQ(buf->cursor, buf->buffer_len);
		EXPECT_EQ(test::written([&](sml_buffer *w) { sml_time_write(t.get(), w); }), c.rewritten);
	}
}

// A local timestamp: UTC seconds, then minutes of local offset and of
// daylight saving, each at full width as meters send it.
TEST(Time, LocalTimestampKeepsItsOffsets) {
	struct {
		const char *wire;
		u32 timestamp;
		i16 local, season;
		const char *rewritten;
	} cases[] = {
		{"72 62 03 73 65 67 1B 63 22 53 00 3C 53 00 3C", 0x671B6322, 60, 60,
		 "72 62 03 73 65 67 1B 63 22 53 00 3C 53 00 3C"},
		{"72 62 03 73 65 00 00 0E 10 53 FF C4 53 00 00", 3600, -60, 0,
		 "72 62 03 73 65 00 00 0E 10 53 FF C4 53 00 00"},
		// Shorter numbers are widened, as everywhere else.
		{"72 62 03 73 63 0E 10 52 3C 51", 3600, 60, 0, "72 62 03 73 65 00 00 0E 10 53 00 3C 53 00 00"},
	};
	for (auto &c : cases) {
		auto buf = test::parse_buf(c.wire);
		testing::internal::CaptureStderr();
		auto t = tm(sml_time_parse(buf.get()));
		EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.wire;
		ASSERT_NE(t, nullptr) << c.wire;
		EXPECT_FALSE(buf->error);
		EXPECT_EQ(buf->cursor, buf->buffer_len);
		EXPECT_EQ(*t->tag, SML_TIME_LOCAL_TIMESTAMP);
		ASSERT_NE(t->data.timestamp, nullptr);
		ASSERT_NE(t->local_offset, nullptr);
		ASSERT_NE(t->season_time_offset, nullptr);
		EXPECT_EQ(*t->data.timestamp, c.timestamp);
		EXPECT_EQ(*t->local_offset, c.local);
		EXPECT_EQ(*t->season_time_offset, c.season);
		EXPECT_EQ(test::written([&](sml_buffer *w) { sml_time_write(t.get(), w); }), test::canon(c.rewritten));
	}
}

// A list of three where no local timestamp can stand: under tags 1 and 2,
// counted otherwise than three, or with a number absent.
TEST(Time, OtherListsOfThreeAreReportedAndDropped) {
	struct {
		const char *wire;
		u8 tag;
		const char *diagnostic;
		const char *rewritten;
	} cases[] = {
		{"72 62 01 73 65 00 00 0E 10 53 00 3C 53 FF C4", 1, "value[0]=3600 value[1]=60 value[2]=-60", "72 62 01 01"},
		{"72 62 02 73 65 00 00 0E 10 53 00 3C 53 FF C4", 2, "value[0]=3600 value[1]=60 value[2]=-60", "72 62 02 01"},
		{"72 62 03 73 65 00 00 0E 10 01 53 FF C4", 3, "value[0]=3600 value[1]=0 value[2]=-60", "72 62 03 01"},
	};
	for (auto &c : cases) {
		auto buf = test::parse_buf(c.wire);
		testing::internal::CaptureStderr();
		auto t = tm(sml_time_parse(buf.get()));
		EXPECT_EQ(testing::internal::GetCapturedStderr(),
			  std::string("zelkor: error: sml_time as list[3]: ignoring ") + c.diagnostic + "\n");
		ASSERT_NE(t, nullptr) << c.wire;
		EXPECT_EQ(*t->tag, c.tag);
		EXPECT_EQ(t->data.sec_index, nullptr);
		EXPECT_EQ(t->local_offset, nullptr);
		EXPECT_EQ(t->season_time_offset, nullptr);
		EXPECT_FALSE(buf->error);
		EXPECT_EQ(buf->cursor, buf->buffer_len);
		EXPECT_EQ(test::written([&](sml_buffer *w) { sml_time_write(t.get(), w); }), test::canon(c.rewritten));
		// What is written reads back as the same time without a number.
		auto again = test::parse_buf(c.rewritten);
		auto back = tm(sml_time_parse(again.get()));
		ASSERT_NE(back, nullptr);
		EXPECT_FALSE(again->error);
		EXPECT_EQ(*back->tag, c.tag);
		EXPECT_EQ(back->data.sec_index, nullptr);
		EXPECT_EQ(test::written([&](sml_buffer *w) { sml_time_write(back.get(), w); }), test::canon(c.rewritten));
	}
}

// The inner list must count its three numbers: read by their number alone,
// a list of two would take the next field as its third, and one of four
// would leave an element to be read as the next field.
TEST(Time, InnerListsCountingOtherThanThreeFail) {
	for (const char *wire : {"72 62 03 71 65 00 00 0E 10", "72 62 03 72 65 00 00 0E 10 53 00 3C 53 FF C4",
				 "72 62 03 74 65 00 00 0E 10 53 00 3C 53 FF C4 01",
				 "72 62 03 75 65 00 00 0E 10 53 00 3C 53 FF C4 01 01", "72 62 01 70"}) {
		auto buf = test::parse_buf(wire);
		EXPECT_EQ(sml_time_parse(buf.get()), nullptr) << wire;
		EXPECT_TRUE(buf->error) << wire;
	}
}

// A caller-built time: the offsets choose the list form, an absent one is
// the optional marker in its place.
TEST(Time, WritesTheFormItsFieldsHold) {
	auto t = tm(sml_time_init());
	t->tag = static_cast<u8 *>(sml_number_init(SML_TIME_LOCAL_TIMESTAMP, SML_TL_UNSIGNED, 1));
	t->data.timestamp = static_cast<u32 *>(sml_number_init(3600, SML_TL_UNSIGNED, 4));
	EXPECT_EQ(test::written([&](sml_buffer *w) { sml_time_write(t.get(), w); }),
		  test::canon("72 62 03 65 00 00 0E 10"));
	t->season_time_offset = static_cast<i16 *>(sml_number_init(60, SML_TL_INTEGER, 2));
	EXPECT_EQ(test::written([&](sml_buffer *w) { sml_time_write(t.get(), w); }),
		  test::canon("72 62 03 73 65 00 00 0E 10 01 53 00 3C"));
}

TEST(Time, Rejects) {
	const char *cases[] = {
		"73 62 01 65 00 00 0E 10 01",         // a list of three at the outer level
		"72 62 01 52 05",                     // a signed second element
		"72 62 01 07 01 02 03 04 05 06",      // an octet string as second element
		"72 62 01 73 65 00 00 0E 10 53 00 3C", // list form cut short
		"72 62 03 73 65 00 00 0E 10 53 00 3C", // local timestamp cut short
		"72 62 03 73 65 00 00 0E 10 63 00 3C 53 00 3C", // an unsigned offset
		"72 62 03 73 55 00 00 0E 10 53 00 3C 53 00 3C", // a signed timestamp
		"69 00 00 00 00 00 00 00 01",         // a bare number wider than four bytes
		"52 05",                              // a bare signed number
		"72 62 01",                           // cut off
	};
	for (const char *wire : cases) {
		auto buf = test::parse_buf(wire);
		testing::internal::CaptureStderr();
		EXPECT_EQ(sml_time_parse(buf.get()), nullptr) << wire;
		EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << wire;
		EXPECT_TRUE(buf->error) << wire;
	}
	auto absent = test::parse_buf("01");
	EXPECT_EQ(sml_time_parse(absent.get()), nullptr);
	EXPECT_FALSE(absent->error);
	EXPECT_EQ(test::written([](sml_buffer *w) { sml_time_write(nullptr, w); }), "01");
}

TEST(Status, TakesTheWidthItsDataNeeds) {
	struct {
		const char *wire;
		u8 type;
		u64 value;
		const char *rewritten;
	} cases[] = {
		{"62 08", 0x61, 8, "62 08"},
		{"64 01 02 03", 0x64, 0x010203, "65 00 01 02 03"},
		{"66 01 02 03 04 05", 0x68, 0x0102030405, "69 00 00 00 01 02 03 04 05"},
		{"63 01 00", 0x62, 256, "63 01 00"},
	};
	for (auto &c : cases) {
		auto buf = test::parse_buf(c.wire);
		auto s = test::owned(sml_status_parse(buf.get()), sml_status_free);
		ASSERT_NE(s, nullptr) << c.wire;
		EXPECT_EQ(s->type, c.type);
		u64 held = c.type == 0x61 ? *s->data.status8
			   : c.type == 0x62 ? *s->data.status16
			   : c.type == 0x64 ? *s->data.status32 : *s->data.status64;
		EXPECT_EQ(held, c.value);
		EXPECT_EQ(test::written([&](sml_buffer *w) { sml_status_write(s.get(), w); }), c.rewritten);
	}
}

TEST(Status, Rejects) {
	const char *cases[] = {"52 08", "07 01 02 03 04 05 06", "42 01", "71 01",
			       "6A 00 00 00 00 00 00 00 00 00", "6F 00 00 00 00 00 00 00 00 00 00 00 00 00 00"};
	for (const char *wire : cases) {
		auto buf = test::parse_buf(wire);
		EXPECT_EQ(sml_status_parse(buf.get()), nullptr) << wire;
		EXPECT_TRUE(buf->error) << wire;
	}
	auto fresh = test::owned(sml_status_init(), sml_status_free);
	EXPECT_EQ(fresh->type, 0x60);
	EXPECT_EQ(test::written([&](sml_buffer *w) { sml_status_write(fresh.get(), w); }), "01");
	EXPECT_EQ(test::written([](sml_buffer *w) { sml_status_write(nullptr, w); }), "01");
}

} // namespace
