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

TEST(Time, ListOfThreeIsReportedAndDropped) {
	auto buf = test::parse_buf("72 62 03 73 65 00 00 0E 10 53 00 3C 53 FF C4");
	testing::internal::CaptureStderr();
	auto t = tm(sml_time_parse(buf.get()));
	EXPECT_EQ(testing::internal::GetCapturedStderr(),
		  "zelkor: error: sml_time as list[3]: ignoring value[0]=3600 value[1]=60 value[2]=-60\n");
	ASSERT_NE(t, nullptr);
	EXPECT_EQ(*t->tag, 3);
	EXPECT_EQ(t->data.sec_index, nullptr);
	EXPECT_FALSE(buf->error);
	EXPECT_EQ(buf->cursor, buf->buffer_len);
	EXPECT_EQ(test::written([&](sml_buffer *w) { sml_time_write(t.get(), w); }), "72 62 03 01");
}

TEST(Time, Rejects) {
	const char *cases[] = {
		"73 62 01 65 00 00 0E 10 01",         // a list of three at the outer level
		"72 62 01 52 05",                     // a signed second element
		"72 62 01 07 01 02 03 04 05 06",      // an octet string as second element
		"72 62 01 73 65 00 00 0E 10 53 00 3C", // list form cut short
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
