// Type-length fields, the optional marker, the buffer's bounds, hexdump and the CRC.
#include <sml/sml_crc16.h>
#include <sml/sml_shared.h>

#include <sml/sml_get_profile_pack_request.h>
#include <sml/sml_list.h>
#include <sml/sml_tree.h>

#include "sml_test.hpp"

namespace {

struct tl_case {
	unsigned type;
	unsigned length;
	const char *wire;
};

TEST(TypeLength, WritesAndReadsBackAtEveryThreshold) {
	const tl_case cases[] = {
		{SML_TL_OCTET_STRING, 0, "01"},          {SML_TL_OCTET_STRING, 14, "0F"},
		{SML_TL_OCTET_STRING, 15, "81 01"},      {SML_TL_OCTET_STRING, 16, "81 02"},
		{SML_TL_OCTET_STRING, 253, "8F 0F"},     {SML_TL_OCTET_STRING, 254, "81 80 01"},
		{SML_TL_OCTET_STRING, 255, "81 80 02"},  {SML_TL_OCTET_STRING, 300, "81 82 0F"},
		{SML_TL_OCTET_STRING, 4093, "81 80 80 01"},
		{SML_TL_UNSIGNED, 1, "62"}, {SML_TL_UNSIGNED, 2, "63"}, {SML_TL_UNSIGNED, 4, "65"},
		{SML_TL_UNSIGNED, 8, "69"}, {SML_TL_INTEGER, 8, "59"},   {SML_TL_BOOLEAN, 1, "42"},
		{SML_TL_LIST, 3, "73"},     {SML_TL_LIST, 15, "7F"},     {SML_TL_LIST, 16, "F1 00"},
		{SML_TL_LIST, 20, "F1 04"}, {SML_TL_LIST, 255, "FF 0F"}, {SML_TL_LIST, 256, "F1 80 00"},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.wire);
		EXPECT_EQ(test::written([&](sml_buffer *b) { sml_buf_set_type_and_length(b, c.type, c.length); }),
			  test::canon(c.wire));
		auto buf = test::parse_buf(c.wire);
		EXPECT_EQ(sml_buf_get_next_type(buf.get()), static_cast<int>(c.type));
		EXPECT_EQ(sml_buf_get_next_length(buf.get()), static_cast<int>(c.length));
		EXPECT_EQ(buf->cursor, buf->buffer_len);
	}
}

TEST(TypeLength, SameBytesMeanLengthOrCount) {
	auto s = test::parse_buf("81 04");
	EXPECT_EQ(sml_buf_get_next_length(s.get()), 18);
	auto l = test::parse_buf("F1 04");
	EXPECT_EQ(sml_buf_get_next_length(l.get()), 20);
}

TEST(TypeLength, MalformedFieldsGiveNegativeLengthsAndStayInside) {
	auto zero = test::parse_buf("00 62");
	EXPECT_EQ(sml_buf_get_next_length(zero.get()), -1);
	EXPECT_EQ(zero->cursor, 1u);

	// The last byte announces another TL byte that never comes: the nibbles
	// so far make the length, but the flag says it cannot be trusted.
	const struct {
		const char *wire;
		int length;
	} cut_off[] = {{"81", -1}, {"82", 0}, {"F0", 0}, {"F1", 1}};
	for (const auto &c : cut_off) {
		SCOPED_TRACE(c.wire);
		auto cut = test::parse_buf(c.wire);
		EXPECT_EQ(sml_buf_get_next_length(cut.get()), c.length);
		EXPECT_EQ(cut->cursor, cut->buffer_len);
		EXPECT_TRUE(cut->error);
	}
	auto s = test::parse_buf("82");
	EXPECT_EQ(sml_octet_string_parse(s.get()), nullptr);
	EXPECT_TRUE(s->error);

	// A count of 2^31 or more, which an int holds as below zero, is no count
	// either: read as one, the list would pass for empty.
	auto huge = test::parse_buf("F8 80 80 80 80 80 80 00");
	sml_buf_get_next_length(huge.get());
	EXPECT_EQ(huge->cursor, 8u);
	EXPECT_TRUE(huge->error);

	// Neither header is a list in any place a list stands.
	const struct {
		const char *what;
		const char *before; // the fields before the list
		bool (*read)(sml_buffer *); // whether it gave a record
	} lists[] = {
		{"value list", "",
		 [](sml_buffer *b) {
			 sml_list *l = sml_list_parse(b);
			 sml_list_free(l);
			 return l != nullptr;
		 }},
		{"sequence", "",
		 [](sml_buffer *b) {
			 sml_sequence *s = sml_sequence_parse(
				 b, [](sml_buffer *e) -> void * { return sml_octet_string_parse(e); },
				 [](void *e) { sml_octet_string_free(static_cast<octet_string *>(e)); });
			 sml_sequence_free(s);
			 return s != nullptr;
		 }},
		{"tree path", "",
		 [](sml_buffer *b) {
			 sml_tree_path *p = sml_tree_path_parse(b);
			 sml_tree_path_free(p);
			 return p != nullptr;
		 }},
		{"children of a tree", "73 01 01",
		 [](sml_buffer *b) {
			 sml_tree *t = sml_tree_parse(b);
			 sml_tree_free(t);
			 return t != nullptr;
		 }},
		{"object list of a profile request", "79 01 01 01 01 01 01 01",
		 [](sml_buffer *b) {
			 sml_get_profile_pack_request *r = sml_get_profile_pack_request_parse(b);
			 sml_get_profile_pack_request_free(r);
			 return r != nullptr;
		 }},
	};
	for (const auto &c : lists)
		for (const char *header : {"F0", "F8 80 80 80 80 80 80 00 01 01"}) {
			SCOPED_TRACE(std::string(c.what) + ", " + header);
			auto buf = test::parse_buf(std::string(c.before) + " " + header);
			EXPECT_FALSE(c.read(buf.get()));
			EXPECT_TRUE(buf->error);
		}

	// Eight TL bytes hold the 32 bits of a length; a ninth is refused, as a
	// field cut off there, so no field costs more than eight bytes to read.
	auto widest = test::parse_buf("F0 80 80 80 80 80 81 02");
	EXPECT_EQ(sml_buf_get_next_length(widest.get()), 0x12);
	EXPECT_EQ(widest->cursor, 8u);
	EXPECT_FALSE(widest->error);
	auto long_tl = test::parse_buf("FF FF FF FF FF FF FF FF 0F");
	sml_buf_get_next_length(long_tl.get());
	EXPECT_EQ(long_tl->cursor, 8u);
	EXPECT_TRUE(long_tl->error);
}

TEST(Buffer, ReadsAtTheEndFindNothing) {
	auto buf = test::parse_buf("01");
	EXPECT_EQ(sml_buf_optional_is_skipped(buf.get()), 1);
	EXPECT_EQ(buf->cursor, 1u);
	// Past the end there is no marker and no byte to read.
	EXPECT_EQ(sml_buf_optional_is_skipped(buf.get()), 0);
	EXPECT_EQ(sml_buf_get_current_byte(buf.get()), 0);
	EXPECT_EQ(sml_buf_get_next_length(buf.get()), -1);
	EXPECT_EQ(buf->cursor, 1u);

	auto other = test::parse_buf("62 01");
	EXPECT_EQ(sml_buf_optional_is_skipped(other.get()), 0);
	EXPECT_EQ(other->cursor, 0u);

	test::buffer empty{sml_buffer_init(0)};
	EXPECT_EQ(sml_buf_get_current_byte(empty.get()), 0);
	EXPECT_EQ(sml_buf_optional_is_skipped(empty.get()), 0);

	// The write position never lies past the end, however far the cursor went.
	auto two = test::parse_buf("62 01");
	EXPECT_EQ(sml_buf_get_current_buf(two.get()), two->buffer);
	two->cursor = 5;
	EXPECT_EQ(sml_buf_get_current_buf(two.get()), two->buffer + 2);
}

TEST(Buffer, WritersGrowTheAreaZeroFilled) {
	test::buffer buf{sml_buffer_init(2)};
	for (int i = 0; i < 1000; i++)
		sml_buf_optional_write(buf.get());
	sml_buf_set_type_and_length(buf.get(), SML_TL_LIST, 256);
	EXPECT_EQ(buf->cursor, 1003u);
	EXPECT_GE(buf->buffer_len, buf->cursor);
	for (size_t i = buf->cursor; i < buf->buffer_len; i++)
		ASSERT_EQ(buf->buffer[i], 0);
	EXPECT_EQ(test::hex(buf->buffer + 1000, 3), "F1 80 00");
	sml_buffer_free(nullptr);
}

TEST(Buffer, NewBufferIsZeroFilledWithNoError) {
	test::buffer buf{sml_buffer_init(512)};
	EXPECT_EQ(buf->buffer_len, 512u);
	EXPECT_EQ(buf->cursor, 0u);
	EXPECT_EQ(sml_buf_has_errors(buf.get()), 0);
	EXPECT_EQ(buf->error_msg, nullptr);
	for (size_t i = 0; i < 512; i++)
		ASSERT_EQ(buf->buffer[i], 0);
}

TEST(Hexdump, PrintsEightGroupsALine) {
	auto b = test::bytes("00 01 02 03 04 05 06 07 AB");
	testing::internal::CaptureStdout();
	hexdump(b.data(), 8);
	hexdump(b.data(), 9);
	hexdump(b.data(), 0);
	EXPECT_EQ(testing::internal::GetCapturedStdout(),
		  "00 01 02 03 04 05 06 07 \n\n"
		  "00 01 02 03 04 05 06 07 \nAB \n"
		  "\n");
}

TEST(Crc16, CheckValues) {
	struct {
		const char *input;
		u16 crc;
	} cases[] = {{"123456789", 0x6E90}, {"abc", 0x259E}, {"\x01\x02", 0x8D35}, {"", 0x0000}};
	for (auto &c : cases) {
		auto *p = reinterpret_cast<unsigned char *>(const_cast<char *>(c.input));
		EXPECT_EQ(sml_crc16_calculate(p, static_cast<int>(std::strlen(c.input))), c.crc) << c.input;
	}
	// No state survives a call, and a length of 0 does not read the pointer.
	EXPECT_EQ(sml_crc16_calculate(reinterpret_cast<unsigned char *>(const_cast<char *>("abc")), 3), 0x259E);
	EXPECT_EQ(sml_crc16_calculate(nullptr, 0), 0);
}

} // namespace
