// Value lists and sequences.
#include <sml/sml_list.h>

#include "sml_test.hpp"

namespace {

auto chain(sml_list *l) { return test::owned(l, sml_list_free); }
auto seq(sml_sequence *s) { return test::owned(s, sml_sequence_free); }

// An entry: 1-0:1.8.0*255, status 0x0182, unit Wh, scaler -1, value 987.
constexpr const char *energy = "77 07 01 00 01 08 00 FF 63 01 82 01 62 1E 52 FF 63 03 DB 01";

// Sequence elements for the tests: octet strings.
void *string_parse(sml_buffer *b) { return sml_octet_string_parse(b); }
void string_write(void *s, sml_buffer *b) { sml_octet_string_write(static_cast<octet_string *>(s), b); }
void string_free(void *s) { sml_octet_string_free(static_cast<octet_string *>(s)); }

TEST(List, ParsesEntriesInWireOrderAndWritesThemBack) {
	std::string three = "73 " + std::string(energy) + " " + energy + " 77 01 01 01 01 01 01 01";
	auto buf = test::parse_buf(three);
	auto list = chain(sml_list_parse(buf.get()));
	ASSERT_NE(list, nullptr);
	EXPECT_FALSE(buf->error);
	const sml_list *e = list.get();
	EXPECT_EQ(test::hex(e->obj_name->str, 6), "01 00 01 08 00 FF");
	EXPECT_EQ(e->status->type, 0x62);
	EXPECT_EQ(*e->status->data.status16, 0x0182);
	EXPECT_EQ(e->val_time, nullptr);
	EXPECT_EQ(*e->unit, 30);
	EXPECT_EQ(*e->scaler, -1);
	EXPECT_EQ(e->value->type, 0x62);
	EXPECT_EQ(*e->value->data.uint16, 987);
	EXPECT_EQ(e->value_signature, nullptr);
	ASSERT_NE(e->next, nullptr);
	ASSERT_NE(e->next->next, nullptr);
	const sml_list *all_absent = e->next->next;
	EXPECT_EQ(all_absent->obj_name, nullptr);
	EXPECT_EQ(all_absent->value, nullptr);
	EXPECT_EQ(all_absent->next, nullptr);
	EXPECT_EQ(test::written([&](sml_buffer *w) { sml_list_write(list.get(), w); }), test::canon(three));
}

TEST(List, EmptyAndAbsentReadAsNullAndWriteAsTheMarker) {
	for (const char *wire : {"70", "01"}) {
		auto buf = test::parse_buf(wire);
		EXPECT_EQ(sml_list_parse(buf.get()), nullptr);
		EXPECT_FALSE(buf->error);
		EXPECT_EQ(buf->cursor, 1u);
	}
	EXPECT_EQ(test::written([](sml_buffer *w) { sml_list_write(nullptr, w); }), "01");
}

TEST(List, AFailedEntryRejectsTheWholeList) {
	const char *cases[] = {
		// The second entry's header counts six fields.
		"73 77 01 01 01 01 01 01 01 76 01 01 01 01 01 01 77 01 01 01 01 01 01 01",
		// A unit sent as a signed integer.
		"72 77 01 01 01 01 01 01 01 77 01 01 01 52 1E 01 01 01",
		// Entries announced but never sent.
		"F0 FF FF 0F 77 01 01 01 01 01 01 01",
		"71 01",
	};
	for (const char *wire : cases) {
		auto buf = test::parse_buf(wire);
		EXPECT_EQ(sml_list_parse(buf.get()), nullptr) << wire;
		EXPECT_TRUE(buf->error) << wire;
	}
}

TEST(List, TwentyEntriesTakeATwoByteHeader) {
	sml_list *first = sml_list_init();
	sml_list *last = first;
	for (int i = 1; i < 20; i++) {
		sml_list_add(last, sml_list_init());
		last = last->next;
	}
	auto list = chain(first);
	std::string out = test::written([&](sml_buffer *w) { sml_list_write(list.get(), w); });
	EXPECT_EQ(out.substr(0, 5), "F1 04");
	auto buf = test::parse_buf(out);
	auto back = chain(sml_list_parse(buf.get()));
	int n = 0;
	for (const sml_list *e = back.get(); e; e = e->next)
		n++;
	EXPECT_EQ(n, 20);
}

TEST(List, AddReplacesTheSuccessorWithoutReleasingIt) {
	auto head = chain(sml_list_init());
	sml_list *old = sml_list_init();
	sml_list_add(head.get(), old);
	sml_list *replacement = sml_list_init();
	sml_list_add(head.get(), replacement);
	EXPECT_EQ(head->next, replacement);
	sml_list_entry_free(old); // still the caller's
	EXPECT_EQ(test::written([&](sml_buffer *w) { sml_list_entry_write(head.get(), w); }),
		  "77 01 01 01 01 01 01 01");
}

TEST(Sequence, ReadsEveryElementAndKeepsAbsentSlots) {
	auto buf = test::parse_buf("73 03 AA BB 01 02 CC");
	auto s = seq(sml_sequence_parse(buf.get(), string_parse, string_free));
	ASSERT_NE(s, nullptr);
	ASSERT_EQ(s->elems_len, 3);
	EXPECT_EQ(s->elems[1], nullptr);
	EXPECT_EQ(static_cast<octet_string *>(s->elems[2])->str[0], 0xCC);
	EXPECT_EQ(test::written([&](sml_buffer *w) { sml_sequence_write(s.get(), w, string_write); }),
		  "73 03 AA BB 01 02 CC");
}

TEST(Sequence, IsMandatoryButMayBeEmpty) {
	auto empty_buf = test::parse_buf("70");
	auto empty = seq(sml_sequence_parse(empty_buf.get(), string_parse, string_free));
	ASSERT_NE(empty, nullptr);
	EXPECT_EQ(empty->elems_len, 0);
	EXPECT_EQ(empty->elems, nullptr);
	EXPECT_EQ(test::written([&](sml_buffer *w) { sml_sequence_write(empty.get(), w, string_write); }), "70");

	const char *rejected[] = {"01", "03 AA BB", "72 03 AA BB 62 01", "F0 FF FF 0F 03 AA BB"};
	for (const char *wire : rejected) {
		auto buf = test::parse_buf(wire);
		EXPECT_EQ(sml_sequence_parse(buf.get(), string_parse, string_free), nullptr) << wire;
		EXPECT_TRUE(buf->error) << wire;
	}
	EXPECT_EQ(test::written([](sml_buffer *w) { sml_sequence_write(nullptr, w, string_write); }), "01");
}

TEST(Sequence, AddGrowsByOneSlotAndTakesOwnership) {
	auto s = seq(sml_sequence_init(string_free));
	unsigned char b = 0xAB;
	sml_sequence_add(s.get(), sml_octet_string_init(&b, 1));
	sml_sequence_add(s.get(), nullptr);
	EXPECT_EQ(s->elems_len, 2);
	EXPECT_EQ(test::written([&](sml_buffer *w) { sml_sequence_write(s.get(), w, string_write); }), "72 02 AB 01");
	sml_sequence_free(nullptr);
	sml_list_free(nullptr);
}

} // namespace
