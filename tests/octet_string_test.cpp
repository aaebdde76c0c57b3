// Octet strings on the wire and the hexadecimal helpers.
#include <sml/sml_octet_string.h>

#include "sml_test.hpp"

namespace {

auto os(octet_string *s) { return test::owned(s, sml_octet_string_free); }

std::string content(const octet_string *s) { return test::hex(s->str, static_cast<size_t>(s->len)); }

TEST(OctetString, Parses) {
	struct {
		const char *wire;
		const char *content;
		size_t consumed;
	} cases[] = {
		{"07 01 00 01 08 00 FF", "01 00 01 08 00 FF", 7},
		{"80 02", "", 2}, // two TL bytes, no content: present and empty
		{"81 01 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E", "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E", 17},
	};
	for (auto &c : cases) {
		auto buf = test::parse_buf(c.wire);
		auto s = os(sml_octet_string_parse(buf.get()));
		ASSERT_NE(s, nullptr) << c.wire;
		EXPECT_EQ(content(s.get()), c.content);
		EXPECT_EQ(s->len == 0, s->str == nullptr);
		EXPECT_EQ(buf->cursor, c.consumed);
		EXPECT_FALSE(buf->error);
	}
}

TEST(OctetString, AbsentIsNullWithoutError) {
	auto buf = test::parse_buf("01 07");
	EXPECT_EQ(sml_octet_string_parse(buf.get()), nullptr);
	EXPECT_FALSE(buf->error);
	EXPECT_EQ(buf->cursor, 1u);
}

TEST(OctetString, RejectsMalformedFields) {
	const char *cases[] = {
		"62 05",       // an unsigned integer
		"00",          // the end-of-message byte: length below its own TL byte
		"07 01 02",    // announces six bytes, holds two
		"81",          // TL cut off at the end
		"",            // nothing at all
		"8F FF FF FF FF FF FF FF 0F", // a length far beyond the input
	};
	for (const char *wire : cases) {
		auto buf = test::parse_buf(wire);
		EXPECT_EQ(sml_octet_string_parse(buf.get()), nullptr) << wire;
		EXPECT_TRUE(buf->error) << wire;
		EXPECT_LE(buf->cursor, buf->buffer_len) << wire;
	}
}

TEST(OctetString, WritesWithTheLengthItsTlNeeds) {
	unsigned char bytes[20] = {0xAA, 0xBB};
	struct {
		int len;
		const char *prefix;
	} cases[] = {{2, "03 AA BB"}, {14, "0F AA BB"}, {15, "81 01 AA BB"}};
	for (auto &c : cases) {
		auto s = os(sml_octet_string_init(bytes, c.len));
		std::string out = test::written([&](sml_buffer *b) { sml_octet_string_write(s.get(), b); });
		EXPECT_EQ(out.substr(0, std::strlen(c.prefix)), c.prefix);
		EXPECT_EQ(test::bytes(out).size(), static_cast<size_t>(c.len + (c.len < 15 ? 1 : 2)));
	}
	// Empty and absent strings are the same byte.
	auto empty = os(sml_octet_string_init(nullptr, 0));
	EXPECT_EQ(test::written([&](sml_buffer *b) { sml_octet_string_write(empty.get(), b); }), "01");
	EXPECT_EQ(test::written([](sml_buffer *b) { sml_octet_string_write(nullptr, b); }), "01");
}

TEST(OctetString, InitCopiesAndNeverReadsForNonPositiveLengths) {
	unsigned char src[] = {1, 2, 3};
	auto s = os(sml_octet_string_init(src, 3));
	src[0] = 9;
	EXPECT_EQ(content(s.get()), "01 02 03");
	for (int len : {0, -4}) {
		auto e = os(sml_octet_string_init(nullptr, len));
		EXPECT_EQ(e->str, nullptr);
		EXPECT_EQ(e->len, 0);
	}
}

TEST(OctetString, FromHex) {
	struct {
		const char *text;
		const char *bytes; // nullptr: no string
	} cases[] = {{"", ""}, {"abc", nullptr}, {"0A1b", "0A 1B"}, {"zz", "00"}, {"g7", "07"}, {"FFff", "FF FF"}};
	for (auto &c : cases) {
		auto s = os(sml_octet_string_init_from_hex(const_cast<char *>(c.text)));
		if (!c.bytes) {
			EXPECT_EQ(s, nullptr) << c.text;
			continue;
		}
		ASSERT_NE(s, nullptr) << c.text;
		EXPECT_EQ(content(s.get()), c.bytes) << c.text;
	}
	EXPECT_EQ(ctoi('7'), 7);
	EXPECT_EQ(ctoi('e'), 14);
	EXPECT_EQ(ctoi('E'), 14);
	EXPECT_EQ(ctoi('?'), 0);
	EXPECT_EQ(c2toi('f', '0'), 0xF0);
	EXPECT_EQ(c2ptoi(const_cast<char *>("7a")), 0x7A);
}

TEST(OctetString, Compares) {
	unsigned char a[] = {1, 2, 3}, b[] = {1, 2};
	auto s3 = os(sml_octet_string_init(a, 3));
	auto s2 = os(sml_octet_string_init(b, 2));
	auto same = os(sml_octet_string_init(a, 3));
	auto e1 = os(sml_octet_string_init(nullptr, 0));
	auto e2 = os(sml_octet_string_init(nullptr, 0));
	EXPECT_EQ(sml_octet_string_cmp(s3.get(), s2.get()), -1);
	EXPECT_EQ(sml_octet_string_cmp(s2.get(), s3.get()), -1);
	EXPECT_EQ(sml_octet_string_cmp(s3.get(), same.get()), 0);
	EXPECT_EQ(sml_octet_string_cmp(e1.get(), e2.get()), 0);
	EXPECT_EQ(sml_octet_string_cmp_with_hex(s3.get(), const_cast<char *>("010203")), 0);
	EXPECT_NE(sml_octet_string_cmp_with_hex(s3.get(), const_cast<char *>("010204")), 0);
	// Odd-length text stands for no bytes: never equal, nothing leaks.
	EXPECT_NE(sml_octet_string_cmp_with_hex(s3.get(), const_cast<char *>("01020")), 0);
	EXPECT_NE(sml_octet_string_cmp_with_hex(e1.get(), const_cast<char *>("0")), 0);
}

TEST(OctetString, GeneratesDistinctSixteenByteIdentifiers) {
	auto a = os(sml_octet_string_generate_uuid());
	auto b = os(sml_octet_string_generate_uuid());
	EXPECT_EQ(a->len, 16);
	EXPECT_EQ(b->len, 16);
	EXPECT_NE(sml_octet_string_cmp(a.get(), b.get()), 0);
}

} // namespace
