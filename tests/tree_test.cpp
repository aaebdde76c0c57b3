// Parameter trees, tree paths, parameter values, period and tupel entries:
// bytes in, fields out; records written, bytes compared whole.
#include <sml/sml_tree.h>

#include <array>
#include <cstdlib>

#include "roundtrip.hpp"

namespace {

constexpr auto tree_path = TEST_RECORD_OPS(sml_tree_path);
constexpr auto tree = TEST_RECORD_OPS(sml_tree);
constexpr auto proc_par_value = TEST_RECORD_OPS(sml_proc_par_value);
constexpr auto period_entry = TEST_RECORD_OPS(sml_period_entry);
constexpr auto tupel_entry = TEST_RECORD_OPS(sml_tupel_entry);

std::string hex_of(const octet_string *s) { return s ? test::hex(s->str, static_cast<size_t>(s->len)) : "absent"; }

// A chain of nodes, each the only child of the one before; the innermost has no children.
std::string nested(int depth) {
	return test::repeat("73 01 01 71", depth - 1) + " 73 01 01 01";
}

TEST(TreePath, DropsAbsentNamesAndKeepsAnEmptyPathPresent) {
	test::check(tree_path, {
		{"73 02 AA 01 02 BB", "72 02 AA 02 BB"},
		{"71 02 AA", "71 02 AA"},
		// An empty name would be written as the marker and dropped when read.
		{"72 80 02 02 AA", "71 02 AA"},
		{"70", "70"},
		{"01", "absent"},
		{"02 AA", "rejected"},
		{"72 02 AA 72 01 01", "rejected"}, // a list where a name belongs
		{"72 02 AA", "rejected"},          // the second name never comes
	});
	auto buf = test::parse_buf("73 02 AA 01 02 BB");
	auto path = test::owned(sml_tree_path_parse(buf.get()), sml_tree_path_free);
	ASSERT_EQ(path->path_entries_len, 2);
	EXPECT_EQ(hex_of(path->path_entries[0]), "AA");
	EXPECT_EQ(hex_of(path->path_entries[1]), "BB");
}

TEST(TreePath, BuiltByAppendingNames) {
	auto path = test::owned(sml_tree_path_init(), sml_tree_path_free);
	EXPECT_EQ(path->path_entries_len, 0);
	EXPECT_EQ(path->path_entries, nullptr);
	// Present but empty: one item, a list header of count 0, stands in its place.
	EXPECT_EQ(tree_path.bytes_of(path.get()), "70");
	sml_tree_path_add_path_entry(path.get(), test::octets("01 00"));
	sml_tree_path_add_path_entry(path.get(), test::octets("02"));
	ASSERT_EQ(path->path_entries_len, 2);
	EXPECT_EQ(hex_of(path->path_entries[1]), "02");
	EXPECT_EQ(tree_path.bytes_of(path.get()), "72 03 01 00 02 02");
	EXPECT_EQ(tree_path.bytes_of(nullptr), "01");
	// Names a reader would not find are not counted.
	sml_tree_path_add_path_entry(path.get(), nullptr);
	sml_tree_path_add_path_entry(path.get(), test::octets(""));
	EXPECT_EQ(tree_path.bytes_of(path.get()), "72 03 01 00 02 02");
}

TEST(Tree, ReadsChildListsAndWritesThemBack) {
	const std::string leaf = "73 02 0A 01 01";
	const std::string bad_value = "73 01 72 62 05 62 01 01"; // tag 5
	test::check(tree, {
		{"73 02 AA 01 01", "73 02 AA 01 01"},
		{"73 01 01 70", "73 01 01 01"}, // no children: the marker, not the empty list
		{("73 01 01 73 " + leaf + " 01 " + leaf).c_str(), ("73 01 01 72 " + leaf + " " + leaf).c_str()},
		{"01", "absent"},
		{bad_value.c_str(), "rejected"},
		{("73 01 01 72 " + leaf + " " + bad_value).c_str(), "rejected"}, // the first child goes too
		{("73 01 72 62 03 F1 06 " + test::repeat("01", 22) + " 01").c_str(), "rejected"}, // tupel of 22
		{"72 01 01", "rejected"},
		{"73 01 01 02 AA", "rejected"}, // a child list that is no list
		{"73 01 01 71", "rejected"},    // the child never comes
	});
}

TEST(Tree, ThreeLevelsReadWriteAndRelease) {
	const std::string wire = "73 02 01 72 62 01 62 05 71"
				 "   73 02 02 01 71"
				 "     73 02 03 72 62 04 72 62 01 65 00 00 00 01 01";
	auto buf = test::parse_buf(wire);
	auto root = test::owned(sml_tree_parse(buf.get()), sml_tree_free);
	ASSERT_NE(root, nullptr);
	EXPECT_EQ(hex_of(root->parameter_name), "01");
	EXPECT_EQ(*root->parameter_value->tag, SML_PPV_VALUE);
	EXPECT_EQ(*root->parameter_value->data.value->data.uint8, 5);
	ASSERT_EQ(root->child_list_len, 1);
	const sml_tree *middle = root->child_list[0];
	EXPECT_EQ(hex_of(middle->parameter_name), "02");
	EXPECT_EQ(middle->parameter_value, nullptr);
	ASSERT_EQ(middle->child_list_len, 1);
	const sml_tree *inner = middle->child_list[0];
	EXPECT_EQ(*inner->parameter_value->tag, SML_PPV_TIME);
	EXPECT_EQ(*inner->parameter_value->data.time->data.sec_index, 1u);
	EXPECT_EQ(inner->child_list_len, 0);
	EXPECT_EQ(inner->child_list, nullptr);
	EXPECT_EQ(tree.bytes_of(root.get()), test::canon(wire));
}

TEST(Tree, BuiltByAppendingChildren) {
	auto root = test::owned(sml_tree_init(), sml_tree_free);
	EXPECT_EQ(tree.bytes_of(root.get()), "73 01 01 01");
	root->parameter_name = test::octets("AA");
	sml_tree_add_tree(root.get(), sml_tree_init());
	sml_tree_add_tree(root.get(), nullptr); // an absent child is written as the marker
	ASSERT_EQ(root->child_list_len, 2);
	EXPECT_EQ(tree.bytes_of(root.get()), "73 02 AA 01 72 73 01 01 01 01");
}

TEST(Tree, NestingIsLimited) {
	EXPECT_EQ(tree.roundtrip(nested(SML_TREE_MAX_DEPTH)), test::canon(nested(SML_TREE_MAX_DEPTH)));
	EXPECT_EQ(tree.roundtrip(nested(SML_TREE_MAX_DEPTH + 1)), "rejected");
}

TEST(Tree, TenThousandLevelsFailWithoutExhaustingTheStack) {
	const std::string wire = nested(10000);
	auto buf = test::parse_buf(wire);
	EXPECT_EQ(sml_tree_parse(buf.get()), nullptr);
	EXPECT_TRUE(buf->error);
	// Rejected at the header of the level past the limit, which is never read.
	EXPECT_EQ(buf->cursor, 4u * SML_TREE_MAX_DEPTH);
}

TEST(Tree, HugeAnnouncedCountsEndAtTheEndOfTheBytes) {
	// 65,535 children or names announced, two present.
	test::check(tree, {{"73 01 01 FF FF FF 0F 73 01 01 01 01", "rejected"}});
	test::check(tree_path, {{"FF FF FF 0F 02 AA 01", "rejected"}});
	// As many as announced, present: absent children cost a byte each.
	test::check(tree, {{("73 01 01 FF FF FF 0F " + test::repeat("01", 65535)).c_str(), "73 01 01 01"}});
	auto buf = test::parse_buf("FF FF FF 0F " + test::repeat("02 AA", 65535));
	auto path = test::owned(sml_tree_path_parse(buf.get()), sml_tree_path_free);
	ASSERT_NE(path, nullptr);
	EXPECT_EQ(path->path_entries_len, 65535);
}

TEST(ProcParValue, ReadsThePayloadTheTagNames) {
	test::check(proc_par_value, {
		{"72 62 01 62 05", "72 62 01 62 05"},
		{"72 62 01 01", "72 62 01 01"},
		{"72 62 02 75 02 AA 62 1E 52 FF 62 05 01", "72 62 02 75 02 AA 62 1E 52 FF 62 05 01"},
		{"72 62 02 01", "72 62 02 01"}, // tag and no payload, no error
		{("72 62 03 F1 07 " + test::repeat("01", 23)).c_str(), ("72 62 03 F1 07 " + test::repeat("01", 23)).c_str()},
		{"72 62 04 72 62 01 65 00 00 00 0A", "72 62 04 72 62 01 65 00 00 00 0A"},
		{"72 61 62 05", "rejected"}, // tag 0
		{"72 62 05 62 05", "rejected"},
		{"72 52 01 62 05", "rejected"}, // a signed tag
		{"73 62 01 62 05 01", "rejected"},
		{"01", "absent"},
	});
	auto buf = test::parse_buf("72 62 02 75 02 AA 62 1E 52 FF 62 05 01");
	auto v = test::owned(sml_proc_par_value_parse(buf.get()), sml_proc_par_value_free);
	ASSERT_NE(v, nullptr);
	EXPECT_EQ(*v->tag, SML_PPV_PERIOD_ENTRY);
	EXPECT_EQ(*v->data.period_entry->scaler, -1);
}

TEST(ProcParValue, AnAbsentTagFailsBeforeThePayload) {
	auto buf = test::parse_buf("72 01 62 05");
	EXPECT_EQ(sml_proc_par_value_parse(buf.get()), nullptr);
	EXPECT_TRUE(buf->error);
	EXPECT_EQ(buf->cursor, 2u);
}

TEST(ProcParValue, AFailedPayloadLeavesTheValueWithItsTag) {
	const struct {
		const char *wire;
		u8 tag;
	} cases[] = {
		{"72 62 01 72 62 01 62 02", SML_PPV_VALUE},        // a list is no value
		{"72 62 02 74 01 01 01 01", SML_PPV_PERIOD_ENTRY}, // four fields of five
		{"72 62 03 F1 06", SML_PPV_TUPEL_ENTRY},           // 22 fields of 23
		{"72 62 04 02 AA", SML_PPV_TIME},
	};
	for (const auto &c : cases) {
		auto buf = test::parse_buf(c.wire);
		auto v = test::owned(sml_proc_par_value_parse(buf.get()), sml_proc_par_value_free);
		EXPECT_TRUE(buf->error) << c.wire;
		ASSERT_NE(v, nullptr) << c.wire;
		EXPECT_EQ(*v->tag, c.tag);
		EXPECT_EQ(v->data.value, nullptr);
	}
}

TEST(ProcParValue, AnUnknownTagIsWrittenWithoutPayloadAndReported) {
	auto v = test::owned(sml_proc_par_value_init(), sml_proc_par_value_free);
	testing::internal::CaptureStderr();
	EXPECT_EQ(proc_par_value.bytes_of(v.get()), "72 01");
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "zelkor: error: unknown tag in sml_proc_par_value_write\n");

	v->tag = static_cast<u8 *>(sml_number_init(7, SML_TL_UNSIGNED, 1));
	// A payload no tag names is released as plain memory.
	v->data.value = static_cast<sml_value *>(std::calloc(1, 32));
	testing::internal::CaptureStderr();
	EXPECT_EQ(proc_par_value.bytes_of(v.get()), "72 62 07");
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "zelkor: error: unknown tag in sml_proc_par_value_write\n");
	EXPECT_EQ(proc_par_value.bytes_of(nullptr), "01");
}

TEST(PeriodEntry, RoundTrips) {
	test::check(period_entry, {
		{"75 02 AA 62 1E 52 FF 62 05 01", "75 02 AA 62 1E 52 FF 62 05 01"},
		{"75 01 61 51 01 01", "75 01 62 00 52 00 01 01"}, // integers are written at full width
		{"75 01 01 01 01 01", "75 01 01 01 01 01"},
		{"01", "absent"},
		{"74 01 01 01 01", "rejected"},
		{"75 01 52 1E 01 01 01", "rejected"},    // a signed unit
		{"75 01 63 00 1E 01 01 01", "rejected"}, // a unit wider than a byte
	});
	auto buf = test::parse_buf("75 02 AA 62 1E 52 FF 62 05 03 BB CC");
	auto e = test::owned(sml_period_entry_parse(buf.get()), sml_period_entry_free);
	ASSERT_NE(e, nullptr);
	EXPECT_EQ(hex_of(e->obj_name), "AA");
	EXPECT_EQ(*e->unit, 30);
	EXPECT_EQ(*e->scaler, -1);
	EXPECT_EQ(*e->value->data.uint8, 5);
	EXPECT_EQ(hex_of(e->value_signature), "BB CC");
}

TEST(TupelEntry, EveryFieldInItsPlaceAndIntegersAtFullWidth) {
	const std::string wire = "F1 07 02 01 72 62 01 62 02 62 03"
				 " 62 04 52 05 52 06  62 07 52 08 52 09  62 0A 52 0B 52 0C  02 0D"
				 " 62 0E 52 0F 52 10  62 11 52 12 52 13  62 14 52 15 52 FF  02 17";
	auto buf = test::parse_buf(wire);
	auto t = test::owned(sml_tupel_entry_parse(buf.get()), sml_tupel_entry_free);
	ASSERT_NE(t, nullptr);
	EXPECT_EQ(hex_of(t->server_id), "01");
	EXPECT_EQ(*t->sec_index->data.sec_index, 2u);
	EXPECT_EQ(*t->status, 3u);
	const std::array<sml_unit *, 6> units{t->unit_pA, t->unit_R1, t->unit_R4, t->unit_mA, t->unit_R2, t->unit_R3};
	const std::array<i8 *, 6> scalers{t->scaler_pA, t->scaler_R1, t->scaler_R4,
					  t->scaler_mA, t->scaler_R2, t->scaler_R3};
	const std::array<i64 *, 6> values{t->value_pA, t->value_R1, t->value_R4, t->value_mA, t->value_R2, t->value_R3};
	const std::array<int, 6> first{0x04, 0x07, 0x0A, 0x0E, 0x11, 0x14};
	for (size_t i = 0; i < 6; i++) {
		EXPECT_EQ(*units[i], first[i]) << i;
		EXPECT_EQ(*scalers[i], first[i] + 1) << i;
		EXPECT_EQ(*values[i], i == 5 ? -1 : first[i] + 2) << i;
	}
	EXPECT_EQ(hex_of(t->signature_pA_R1_R4), "0D");
	EXPECT_EQ(hex_of(t->signature_mA_R2_R3), "17");

	const std::string eight = "00 00 00 00 00 00 00";
	EXPECT_EQ(tupel_entry.bytes_of(t.get()),
		  test::canon("F1 07 02 01 72 62 01 65 00 00 00 02 69 " + eight + " 03"
			      " 62 04 52 05 59 " + eight + " 06  62 07 52 08 59 " + eight + " 09"
			      " 62 0A 52 0B 59 " + eight + " 0C  02 0D"
			      " 62 0E 52 0F 59 " + eight + " 10  62 11 52 12 59 " + eight + " 13"
			      " 62 14 52 15 59 FF FF FF FF FF FF FF FF  02 17"));

	test::check(tupel_entry, {
		{("F1 07 " + test::repeat("01", 23)).c_str(), ("F1 07 " + test::repeat("01", 23)).c_str()},
		{("F1 06 " + test::repeat("01", 22)).c_str(), "rejected"},
		{"01", "absent"},
	});
}

} // namespace
