// Booleans and values: the type byte follows the wire, integers take the width their data needs.
#include <sml/sml_boolean.h>
#include <sml/sml_value.h>

#include "sml_test.hpp"

namespace {

auto val(sml_value *v) { return test::owned(v, sml_value_free); }

TEST(Boolean, ParsesAndWritesCanonicalBytes) {
	struct {
		const char *wire;
		int value; // -1: rejected
		const char *rewritten;
	} cases[] = {
		{"42 01", 0xFF, "42 FF"}, {"42 00", 0x00, "42 00"}, {"42 7E", 0xFF, "42 FF"},
		{"43 00 00", -1, nullptr}, {"52 01", -1, nullptr}, {"42", -1, nullptr},
	};
	for (auto &c : cases) {
		auto buf = test::parse_buf(c.wire);
		auto b = test::owned(sml_boolean_parse(buf.get()), sml_boolean_free);
		if (c.value < 0) {
			EXPECT_EQ(b, nullptr) << c.wire;
			EXPECT_TRUE(buf->error) << c.wire;
			continue;
		}
		ASSERT_NE(b, nullptr) << c.wire;
		EXPECT_EQ(*b, c.value);
		EXPECT_EQ(test::written([&](sml_buffer *w) { sml_boolean_write(b.get(), w); }), c.rewritten);
	}
	auto one = test::owned(sml_boolean_init(1), sml_boolean_free);
	EXPECT_EQ(*one, 1);
	EXPECT_EQ(test::written([&](sml_buffer *w) { sml_boolean_write(one.get(), w); }), "42 FF");
	EXPECT_EQ(test::written([](sml_buffer *w) { sml_boolean_write(nullptr, w); }), "01");
}

TEST(Value, ParsesEveryTypeAndWritesItBack) {
	struct {
		const char *wire;
		u8 type;
		double number; // for integers
		const char *rewritten;
	} cases[] = {
		{"62 05", 0x61, 5, "62 05"},
		{"63 01 00", 0x62, 256, "63 01 00"},
		{"54 FF FF FE", 0x54, -2, "55 FF FF FF FE"}, // three data bytes come back as four
		{"56 00 00 00 01 00", 0x58, 256, "59 00 00 00 00 00 00 01 00"},
		{"66 00 00 00 01 00", 0x68, 256, "69 00 00 00 00 00 00 01 00"},
		{"51", 0x51, 0, "52 00"},
		{"52 D4", 0x51, -44, "52 D4"},
		{"07 01 02 03 04 05 06", 0x00, 0, "07 01 02 03 04 05 06"},
		{"42 00", 0x40, 0, "42 00"},
	};
	for (auto &c : cases) {
		auto buf = test::parse_buf(c.wire);
		auto v = val(sml_value_parse(buf.get()));
		ASSERT_NE(v, nullptr) << c.wire;
		EXPECT_EQ(v->type, c.type) << c.wire;
		EXPECT_NE(v->data.bytes, nullptr);
		EXPECT_EQ(buf->cursor, buf->buffer_len) << c.wire;
		if ((c.type & 0x70) == SML_TL_INTEGER || (c.type & 0x70) == SML_TL_UNSIGNED) {
			EXPECT_EQ(sml_value_to_double(v.get()), c.number) << c.wire;
		}
		EXPECT_EQ(test::written([&](sml_buffer *w) { sml_value_write(v.get(), w); }), c.rewritten);
	}
}

TEST(Value, RejectsWhatNoMemberHolds) {
	const char *cases[] = {
		"72 62 01 62 02",                   // a list
		"5A 00 00 00 00 00 00 00 00 00",    // nine data bytes: a width of 16
		"6F 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
		"E1 00",                            // type bits 0x60 with more TL bytes: 16 data bytes
		"63 00",                            // runs past the end
		"10",                               // unknown type bits
	};
	for (const char *wire : cases) {
		auto buf = test::parse_buf(wire);
		EXPECT_EQ(sml_value_parse(buf.get()), nullptr) << wire;
		EXPECT_TRUE(buf->error) << wire;
	}
	auto absent = test::parse_buf("01");
	EXPECT_EQ(sml_value_parse(absent.get()), nullptr);
	EXPECT_FALSE(absent->error);
}

TEST(Value, ToDouble) {
	auto big = test::parse_buf("69 FF FF FF FF FF FF FF FF");
	auto v = val(sml_value_parse(big.get()));
	EXPECT_EQ(sml_value_to_double(v.get()), 18446744073709551616.0);
	auto minus_one = test::parse_buf("59 FF FF FF FF FF FF FF FF");
	auto m = val(sml_value_parse(minus_one.get()));
	EXPECT_EQ(sml_value_to_double(m.get()), -1.0);
	auto s16 = test::parse_buf("53 FE D4");
	auto s = val(sml_value_parse(s16.get()));
	EXPECT_EQ(sml_value_to_double(s.get()), -300.0);

	auto boolean = test::parse_buf("42 01");
	auto b = val(sml_value_parse(boolean.get()));
	testing::internal::CaptureStderr();
	EXPECT_EQ(sml_value_to_double(b.get()), 0.0);
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "zelkor: error: unknown type 64 in sml_value_to_double\n");
}

TEST(Value, ToStrhex) {
	struct {
		const char *bytes;
		bool mixed;
		const char *text;
	} cases[] = {
		{"58 59 5A", true, "XYZ"},
		{"01 A8", true, "01 a8 "},
		{"41 42 00 43", true, "AB00 43 "}, // once hexadecimal, always hexadecimal
		{"41", false, "41 "},
		{"20 41", true, "20 41 "},
		{"7B", true, "7b "},
		{"21 7A", true, "!z"},
	};
	for (auto &c : cases) {
		auto b = test::bytes(c.bytes);
		auto v = val(sml_value_init());
		v->data.bytes = sml_octet_string_init(b.data(), static_cast<int>(b.size()));
		char *result = nullptr;
		char *text = sml_value_to_strhex(v.get(), &result, c.mixed);
		ASSERT_NE(text, nullptr);
		EXPECT_EQ(text, result);
		EXPECT_STREQ(text, c.text) << c.bytes;
		std::free(text);
	}
	auto empty = val(sml_value_init());
	empty->data.bytes = sml_octet_string_init(nullptr, 0);
	char *untouched = reinterpret_cast<char *>(0x1);
	EXPECT_EQ(sml_value_to_strhex(empty.get(), &untouched, true), nullptr);
	EXPECT_EQ(untouched, reinterpret_cast<char *>(0x1));
	EXPECT_EQ(sml_value_to_strhex(nullptr, &untouched, true), nullptr);
}

} // namespace
