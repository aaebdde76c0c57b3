// Integers: any wire length up to the width in, full width out.
#include <sml/sml_number.h>

#include "sml_test.hpp"

namespace {

// Reads one number and gives it back as a sign- or zero-extended 64-bit value.
struct read_case {
	const char *wire;
	unsigned char type;
	int width;
	int64_t value;
	size_t consumed;
};

int64_t held(const void *np, unsigned char type, int width) {
	if (type == SML_TL_INTEGER) {
		switch (width) {
		case 1: return *static_cast<const i8 *>(np);
		case 2: return *static_cast<const i16 *>(np);
		case 4: return *static_cast<const i32 *>(np);
		default: return *static_cast<const i64 *>(np);
		}
	}
	switch (width) {
	case 1: return *static_cast<const u8 *>(np);
	case 2: return *static_cast<const u16 *>(np);
	case 4: return *static_cast<const u32 *>(np);
	default: return static_cast<int64_t>(*static_cast<const u64 *>(np));
	}
}

TEST(Number, ParsesAndWidens) {
	const read_case cases[] = {
		{"65 00 00 01 2C", SML_TL_UNSIGNED, 4, 300, 5},
		{"63 01 2C", SML_TL_UNSIGNED, 4, 300, 3},
		{"53 FF 38", SML_TL_INTEGER, 8, -200, 3},
		{"52 80", SML_TL_INTEGER, 2, -128, 2},
		{"62 80", SML_TL_UNSIGNED, 2, 128, 2},
		{"52 7F", SML_TL_INTEGER, 1, 127, 2},
		{"51 FF", SML_TL_INTEGER, 4, 0, 1}, // no data bytes, whatever follows
		{"69 FF FF FF FF FF FF FF FE", SML_TL_UNSIGNED, 8, -2, 9},
		{"59 80 00 00 00 00 00 00 00", SML_TL_INTEGER, 8, INT64_MIN, 9},
	};
	for (const auto &c : cases) {
		auto buf = test::parse_buf(c.wire);
		void *np = sml_number_parse(buf.get(), c.type, c.width);
		ASSERT_NE(np, nullptr) << c.wire;
		EXPECT_EQ(held(np, c.type, c.width), c.value) << c.wire;
		EXPECT_EQ(buf->cursor, c.consumed) << c.wire;
		EXPECT_FALSE(buf->error);
		sml_number_free(np);
	}
}

TEST(Number, Rejects) {
	const struct {
		const char *wire;
		unsigned char type;
		int width;
	} cases[] = {
		{"63 00 05", SML_TL_UNSIGNED, 1}, // wider than the field, although the value fits
		{"52 05", SML_TL_UNSIGNED, 1},    // signed where unsigned is expected
		{"62 05", SML_TL_INTEGER, 1},     // and the other way round
		{"07 01 02 03 04 05 06", SML_TL_UNSIGNED, 4},
		{"50", SML_TL_INTEGER, 4},        // length below its own TL byte
		{"65 00 01", SML_TL_UNSIGNED, 4}, // runs past the end
		{"", SML_TL_UNSIGNED, 4},
		{"62 05", SML_TL_UNSIGNED, 0},    // widths no integer has
		{"62 05", SML_TL_UNSIGNED, 9},
	};
	for (const auto &c : cases) {
		auto buf = test::parse_buf(c.wire);
		EXPECT_EQ(sml_number_parse(buf.get(), c.type, c.width), nullptr) << c.wire;
		EXPECT_TRUE(buf->error) << c.wire;
	}
	auto absent = test::parse_buf("01");
	EXPECT_EQ(sml_number_parse(absent.get(), SML_TL_UNSIGNED, 4), nullptr);
	EXPECT_FALSE(absent->error);
	EXPECT_EQ(absent->cursor, 1u);
}

TEST(Number, WritesFullWidthBigEndian) {
	struct {
		u64 number;
		unsigned char type;
		int size;
		const char *wire;
	} cases[] = {
		{258, SML_TL_UNSIGNED, 2, "63 01 02"},
		{static_cast<u64>(-1), SML_TL_INTEGER, 1, "52 FF"},
		{5, SML_TL_UNSIGNED, 8, "69 00 00 00 00 00 00 00 05"},
		{300, SML_TL_UNSIGNED, 4, "65 00 00 01 2C"},
		{static_cast<u64>(-200), SML_TL_INTEGER, 8, "59 FF FF FF FF FF FF FF 38"},
	};
	for (auto &c : cases) {
		void *np = sml_number_init(c.number, c.type, c.size);
		EXPECT_EQ(test::written([&](sml_buffer *b) { sml_number_write(np, c.type, c.size, b); }), c.wire);
		// And back: the same number at the same width.
		auto buf = test::parse_buf(c.wire);
		void *back = sml_number_parse(buf.get(), c.type, c.size);
		EXPECT_EQ(std::memcmp(back, np, static_cast<size_t>(c.size)), 0) << c.wire;
		sml_number_free(back);
		sml_number_free(np);
	}
	EXPECT_EQ(test::written([](sml_buffer *b) { sml_number_write(nullptr, SML_TL_UNSIGNED, 4, b); }), "01");
}

TEST(Number, InitKeepsTheLowOrderBytes) {
	auto *np = static_cast<u16 *>(sml_number_init(0x1122334455667788ULL, SML_TL_UNSIGNED, 2));
	EXPECT_EQ(*np, 0x7788);
	sml_number_free(np);
	auto *neg = static_cast<i8 *>(sml_number_init(static_cast<u64>(-5), SML_TL_INTEGER, 1));
	EXPECT_EQ(*neg, -5);
	sml_number_free(neg);
	EXPECT_EQ(sml_number_init(1, SML_TL_UNSIGNED, 9), nullptr);
}

TEST(Number, ByteSwapAndEndianness) {
	unsigned char b[] = {1, 2, 3, 4, 5};
	sml_number_byte_swap(b, 5);
	EXPECT_EQ(test::hex(b, 5), "05 04 03 02 01");
	sml_number_byte_swap(b, 0);
	EXPECT_EQ(test::hex(b, 5), "05 04 03 02 01");
	uint16_t probe = 1;
	EXPECT_EQ(sml_number_endian(), *reinterpret_cast<unsigned char *>(&probe) == 0 ? 1 : 0);
}

} // namespace
