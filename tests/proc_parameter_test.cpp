// GetProcParameter and SetProcParameter requests, GetProcParameter responses
// and attention responses: bytes in, fields out, the same bytes back.
#include <sml/sml_attention_response.h>
#include <sml/sml_get_proc_parameter_request.h>
#include <sml/sml_get_proc_parameter_response.h>
#include <sml/sml_set_proc_parameter_request.h>

#include "roundtrip.hpp"

namespace {

constexpr auto get_request = TEST_RECORD_OPS(sml_get_proc_parameter_request);
constexpr auto get_response = TEST_RECORD_OPS(sml_get_proc_parameter_response);
constexpr auto set_request = TEST_RECORD_OPS(sml_set_proc_parameter_request);
constexpr auto attention = TEST_RECORD_OPS(sml_attention_response);

// A leaf with a name and an unsigned value, and a tree holding two of them.
constexpr const char *leaf = "73 02 0A 72 62 01 62 05 01";
const std::string two_leaves = std::string("73 02 01 01 72 ") + leaf + " " + leaf;

TEST(GetProcParameterRequest, RoundTrips) {
	test::check(get_request, {
		{"75 01 01 01 01 01", "75 01 01 01 01 01"},
		{"75 02 AA 02 BB 02 CC 72 02 01 02 02 03 11 22", "75 02 AA 02 BB 02 CC 72 02 01 02 02 03 11 22"},
		{"75 01 01 01 70 01", "75 01 01 01 70 01"}, // a present path without names
		{"75 01 01 01 01 73 01 01 01", "rejected"},  // a tree where the attribute belongs
		{"74 01 01 01 01", "rejected"},
		{"01", "rejected"},
	});
}

TEST(SetProcParameterRequest, RoundTrips) {
	test::check(set_request, {
		{"75 01 01 01 01 01", "75 01 01 01 01 01"},
		{("75 02 AA 01 01 71 02 01 " + two_leaves).c_str(), ("75 02 AA 01 01 71 02 01 " + two_leaves).c_str()},
		{"75 01 01 01 01 02 AA", "rejected"}, // the tree must be a list
		// The tree fails inside (tag 5): the strings and the path read before are released.
		{"75 02 AA 02 BB 02 CC 71 02 DD 73 01 72 62 05 01 01", "rejected"},
	});
}

TEST(GetProcParameterResponse, RoundTrips) {
	test::check(get_response, {
		{"73 01 01 01", "73 01 01 01"},
		{("73 02 AA 71 02 01 " + two_leaves).c_str(), ("73 02 AA 71 02 01 " + two_leaves).c_str()},
		{"74 01 01 01 01", "rejected"},
	});
	auto buf = test::parse_buf("73 02 AA 71 02 01 " + two_leaves);
	auto resp = test::owned(sml_get_proc_parameter_response_parse(buf.get()), sml_get_proc_parameter_response_free);
	ASSERT_NE(resp, nullptr);
	EXPECT_EQ(resp->parameter_tree_path->path_entries_len, 1);
	ASSERT_EQ(resp->parameter_tree->child_list_len, 2);
	EXPECT_EQ(*resp->parameter_tree->child_list[1]->parameter_value->data.value->data.uint8, 5);
}

TEST(AttentionResponse, RoundTrips) {
	auto msg = test::owned(sml_attention_response_init(), sml_attention_response_free);
	unsigned char number[] = {1, 2, 3, 4, 5, 6};
	msg->attention_number = sml_octet_string_init(number, 6);
	EXPECT_EQ(attention.bytes_of(msg.get()), "74 01 07 01 02 03 04 05 06 01 01");

	auto buf = test::parse_buf("74 01 07 01 02 03 04 05 06 01 01");
	auto read = test::owned(sml_attention_response_parse(buf.get()), sml_attention_response_free);
	ASSERT_NE(read, nullptr);
	EXPECT_EQ(read->server_id, nullptr);
	ASSERT_NE(read->attention_number, nullptr);
	EXPECT_EQ(test::hex(read->attention_number->str, 6), "01 02 03 04 05 06");
	EXPECT_EQ(read->attention_message, nullptr);
	EXPECT_EQ(read->attention_details, nullptr);

	test::check(attention, {
		{"74 01 07 01 02 03 04 05 06 01 01", "74 01 07 01 02 03 04 05 06 01 01"},
		{("74 01 01 03 4F 4B " + std::string(leaf)).c_str(), ("74 01 01 03 4F 4B " + std::string(leaf)).c_str()},
		{"74 01 62 01 01 01", "rejected"}, // the number is an octet string, not an integer
		{"75 01 01 01 01 01", "rejected"},
	});
}

TEST(ProcParameterBodies, APresentEmptyPathTakesOneItem) {
	auto req = test::owned(sml_get_proc_parameter_request_init(), sml_get_proc_parameter_request_free);
	req->parameter_tree_path = sml_tree_path_init();
	EXPECT_EQ(get_request.bytes_of(req.get()), "75 01 01 01 70 01");
	auto buf = test::parse_buf("75 01 01 01 70 01");
	auto read = test::owned(sml_get_proc_parameter_request_parse(buf.get()), sml_get_proc_parameter_request_free);
	ASSERT_NE(read, nullptr);
	ASSERT_NE(read->parameter_tree_path, nullptr);
	EXPECT_EQ(read->parameter_tree_path->path_entries_len, 0);
}

TEST(ProcParameterBodies, DeeplyNestedTreesAreRejected) {
	// 10,000 levels, as each body carrying a tree would see them.
	const std::string deep = test::repeat("73 01 01 71", 9999) + " 73 01 01 01";
	test::check(set_request, {{("75 01 01 01 01 " + deep).c_str(), "rejected"}});
	test::check(get_response, {{("73 01 01 " + deep).c_str(), "rejected"}});
	test::check(attention, {{("74 01 01 01 " + deep).c_str(), "rejected"}});
}

} // namespace
