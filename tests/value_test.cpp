// Booleans and values: the type byte follows the wire, integers take the width their data needs.
#include <sml/sml_boolean.h>
#include <sml/sml_status.h>
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
		{"65 FF FF FF FE", 0x64, 4294967294.0, "65 FF FF FF FE"},
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

// The width is the content length, however many type-length bytes carry
// it: a number, a value and a status word read the same field alike.
TEST(Value, IntegerWidthCountsContentNotTypeLengthBytes) {
	const struct {
		const char *wire;
		u8 type; // as a value holds it; 0 where every reader rejects it
		double number;
		const char *rewritten;
	} cases[] = {
		{"E0 06 00 00 01 00", 0x64, 256, "65 00 00 01 00"},
		{"E0 04 01 00", 0x62, 256, "63 01 00"},
		{"D0 06 FF FF FF FE", 0x54, -2, "55 FF FF FF FE"},
		{"E0 0A 00 00 00 00 00 00 01 00", 0x68, 256, "69 00 00 00 00 00 00 01 00"},
		{"E0 0B 00 00 00 00 00 00 00 01 00", 0, 0, nullptr}, // nine data bytes
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.wire);
		const int width = c.type & SML_TL_LENGTH_MASK;
		auto vbuf = test::parse_buf(c.wire);
		auto v = val(sml_value_parse(vbuf.get()));
		auto sbuf = test::parse_buf(c.wire);
		auto s = test::owned(sml_status_parse(sbuf.get()), sml_status_free);
		if (!c.type) {
			EXPECT_EQ(v, nullptr);
			EXPECT_TRUE(vbuf->error);
			EXPECT_EQ(s, nullptr);
			EXPECT_TRUE(sbuf->error);
			continue;
		}
		ASSERT_NE(v, nullptr);
		EXPECT_EQ(v->type, c.type);
		EXPECT_EQ(vbuf->cursor, vbuf->buffer_len);
		EXPECT_EQ(sml_value_to_double(v.get()), c.number);
		EXPECT_EQ(test::written([&](sml_buffer *w) { sml_value_write(v.get(), w); }), c.rewritten);

		auto nbuf = test::parse_buf(c.wire);
		void *n = sml_number_parse(nbuf.get(), c.type & SML_TL_LIST, width);
		ASSERT_NE(n, nullptr);
		EXPECT_EQ(std::memcmp(n, v->data.uint8, static_cast<size_t>(width)), 0);
		sml_number_free(n);

		// A status word is unsigned only.
		if ((c.type & SML_TL_LIST) == SML_TL_UNSIGNED) {
			ASSERT_NE(s, nullptr);
			EXPECT_EQ(s->type, c.type);
			EXPECT_EQ(std::memcmp(s->data.status8, v->data.uint8, static_cast<size_t>(width)), 0);
		} else {
			EXPECT_TRUE(sbuf->error);
		}
	}
}

// SML 1.05 list-typed values: 72 | tag | content.
TEST(Value, ListTypedValuesRoundTrip) {
	struct {
		const char *wire;
		u8 tag;
		const char *content; // tags 2 and 3: the element kept as encoded
	} cases[] = {
		{"72 62 01 72 62 01 65 00 00 0E 10", SML_LIST_TYPE_TIME, nullptr},
		{"72 62 01 72 62 03 73 65 00 00 0E 10 53 00 3C 53 00 00", SML_LIST_TYPE_TIME, nullptr},
		{"72 62 02 72 72 62 01 65 00 00 0E 10 62 05", SML_LIST_TYPE_TIMESTAMPED_VALUE,
		 "72 72 62 01 65 00 00 0E 10 62 05"},
		{"72 62 03 73 62 1B 52 FF 01", SML_LIST_TYPE_COSEM_VALUE, "73 62 1B 52 FF 01"},
		{"72 62 02 71 71 71 71 81 02 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50",
		 SML_LIST_TYPE_TIMESTAMPED_VALUE,
		 "71 71 71 71 81 02 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50"},
		{"72 62 03 01", SML_LIST_TYPE_COSEM_VALUE, "01"},
		{"72 62 03 42 00", SML_LIST_TYPE_COSEM_VALUE, "42 00"},
	};
	for (auto &c : cases) {
		auto buf = test::parse_buf(c.wire);
		auto v = val(sml_value_parse(buf.get()));
		ASSERT_NE(v, nullptr) << c.wire;
		EXPECT_FALSE(buf->error);
		EXPECT_EQ(buf->cursor, buf->buffer_len) << c.wire;
		EXPECT_EQ(v->type, SML_VALUE_LIST);
		ASSERT_NE(v->data.list_type, nullptr);
		ASSERT_NE(v->data.list_type->tag, nullptr);
		EXPECT_EQ(*v->data.list_type->tag, c.tag);
		if (c.content) {
			const octet_string *e = v->data.list_type->data.encoded;
			ASSERT_NE(e, nullptr);
			EXPECT_EQ(test::hex(e->str, static_cast<size_t>(e->len)), test::canon(c.content));
		}
		EXPECT_EQ(test::written([&](sml_buffer *w) { sml_value_write(v.get(), w); }), test::canon(c.wire));
	}

	auto buf = test::parse_buf("72 62 01 72 62 03 73 65 00 00 0E 10 53 00 3C 53 FF C4");
	auto v = val(sml_value_parse(buf.get()));
	const sml_time *t = v->data.list_type->data.time;
	ASSERT_NE(t, nullptr);
	EXPECT_EQ(*t->tag, SML_TIME_LOCAL_TIMESTAMP);
	EXPECT_EQ(*t->data.timestamp, 3600u);
	EXPECT_EQ(*t->local_offset, 60);
	EXPECT_EQ(*t->season_time_offset, -60);
}

TEST(Value, ListTypedValuesRejected) {
	const char *cases[] = {
		"72 62 04 62 01",             // no such tag
		"72 62 00 62 01",
		"72 01 62 05",                // no tag
		"73 62 01 72 62 01 65 00 00 0E 10 01", // a list of three
		"72 62 01 65 00 00 0E 10",    // a bare number is no whole time
		"72 62 01 01",                // nor is the optional marker
		"72 62 01 72 62 01 52 05",    // a time that fails
		"72 62 02 73 62 01 62 02",    // content cut short
		"72 62 02 72 62 01 63 05",    // a length running past the end
		"72 62 03 20",                // type bits no element has
		"72 62 03 00",                // the end-of-message byte
		"72 62 03",                   // cut off before the content
		// A count of 2^31, which an int would hold as below zero, as none.
		"72 62 02 F8 80 80 80 80 80 80 00",
	};
	for (const char *wire : cases) {
		auto buf = test::parse_buf(wire);
		testing::internal::CaptureStderr();
		EXPECT_EQ(sml_value_parse(buf.get()), nullptr) << wire;
		EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << wire;
		EXPECT_TRUE(buf->error) << wire;
	}
}

// Content nested far deeper than any stack would carry by recursion.
TEST(Value, ListTypedContentOfAnyDepth) {
	const int depth = 200000;
	std::vector<unsigned char> wire = {0x72, 0x62, 0x02};
	wire.insert(wire.end(), depth, 0x71);
	wire.push_back(0x62);
	wire.push_back(0x01);
	test::buffer buf{sml_buffer_init(wire.size())};
	std::memcpy(buf->buffer, wire.data(), wire.size());
	auto v = val(sml_value_parse(buf.get()));
	ASSERT_NE(v, nullptr);
	EXPECT_EQ(v->data.list_type->data.encoded->len, depth + 2);
	buf->buffer_len--; // the innermost element cut off
	buf->cursor = 0;
	EXPECT_EQ(sml_value_parse(buf.get()), nullptr);
	EXPECT_TRUE(buf->error);
}

TEST(Value, ListTypedValuesConvertToNothing) {
	auto buf = test::parse_buf("72 62 01 72 62 01 65 00 00 0E 10");
	auto v = val(sml_value_parse(buf.get()));
	testing::internal::CaptureStderr();
	EXPECT_EQ(sml_value_to_double(v.get()), 0.0);
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "zelkor: error: unknown type 112 in sml_value_to_double\n");
	// Text is made of octet strings only: data holds something else here,
	// as it does in an integer value.
	char *text = nullptr;
	EXPECT_EQ(sml_value_to_strhex(v.get(), &text, true), nullptr);
	auto number = test::parse_buf("62 05");
	auto n = val(sml_value_parse(number.get()));
	EXPECT_EQ(sml_value_to_strhex(n.get(), &text, true), nullptr);
	EXPECT_EQ(text, nullptr);
}

// A caller-built list-typed value without a known tag is written with the
// optional marker for its content and released without leaking.
TEST(Value, ListTypedValueWithoutKnownTag) {
	auto v = val(sml_value_init());
	v->type = SML_VALUE_LIST;
	v->data.list_type = sml_list_type_init();
	EXPECT_EQ(test::written([&](sml_buffer *w) { sml_value_write(v.get(), w); }), test::canon("72 01 01"));
	v->data.list_type->tag = static_cast<u8 *>(sml_number_init(9, SML_TL_UNSIGNED, 1));
	EXPECT_EQ(test::written([&](sml_buffer *w) { sml_value_write(v.get(), w); }), test::canon("72 62 09 01"));
}

// What a caller leaves out of a value: a missing list type or content is
// written as the optional marker in its place; type bits that no value has
// write nothing at all.
TEST(Value, CallerBuiltValuesWithPartsLeftOut) {
	auto list_typed = [](sml_list_type *lt) {
		sml_value *v = sml_value_init();
		v->type = SML_VALUE_LIST;
		v->data.list_type = lt;
		return v;
	};
	auto tagged = [](u8 tag, octet_string *content) {
		sml_list_type *lt = sml_list_type_init();
		lt->tag = static_cast<u8 *>(sml_number_init(tag, SML_TL_UNSIGNED, 1));
		lt->data.encoded = content;
		return lt;
	};
	sml_value *unknown = sml_value_init();
	unknown->type = 0x30;
	struct {
		const char *what;
		sml_value *value;
		const char *wire;
	} cases[] = {
		{"no list type", list_typed(nullptr), "01"},
		{"no content", list_typed(tagged(SML_LIST_TYPE_TIMESTAMPED_VALUE, nullptr)), "72 62 02 01"},
		{"empty content", list_typed(tagged(SML_LIST_TYPE_COSEM_VALUE, sml_octet_string_init(nullptr, 0))),
		 "72 62 03 01"},
		{"type bits 0x30", unknown, ""},
	};
	for (auto &c : cases) {
		auto v = val(c.value);
		EXPECT_EQ(test::written([&](sml_buffer *w) { sml_value_write(v.get(), w); }), test::canon(c.wire)) << c.what;
	}
	// The optional marker in a list type's place reads as absent.
	auto absent = test::parse_buf("01");
	EXPECT_EQ(sml_list_type_parse(absent.get()), nullptr);
	EXPECT_FALSE(absent->error);
	EXPECT_EQ(absent->cursor, 1u);
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
	// Nothing to convert is no error: a value a caller has not filled in yet.
	auto empty = val(sml_value_init());
	testing::internal::CaptureStderr();
	EXPECT_EQ(sml_value_to_double(nullptr), 0.0);
	EXPECT_EQ(sml_value_to_double(empty.get()), 0.0);
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

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
