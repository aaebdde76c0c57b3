// Profile-pack and profile-list requests and responses with their entries:
// bytes in, fields out, the same bytes back.
#include <sml/sml_get_profile_list_request.h>
#include <sml/sml_get_profile_list_response.h>
#include <sml/sml_get_profile_pack_request.h>
#include <sml/sml_get_profile_pack_response.h>
#include <sml/sml_message.h>

#include <cstdlib>
#include <vector>

#include "roundtrip.hpp"

namespace {

constexpr auto pack_request = TEST_RECORD_OPS(sml_get_profile_pack_request);
constexpr auto pack_response = TEST_RECORD_OPS(sml_get_profile_pack_response);
constexpr auto header_entry = TEST_RECORD_OPS(sml_prof_obj_header_entry);
constexpr auto period_entry = TEST_RECORD_OPS(sml_prof_obj_period_entry);
constexpr auto value_entry = TEST_RECORD_OPS(sml_value_entry);
constexpr auto list_response = TEST_RECORD_OPS(sml_get_profile_list_response);

// The names of an object list, "absent" for a node without one.
std::vector<std::string> names(const sml_obj_req_entry_list *node) {
	std::vector<std::string> out;
	for (; node; node = node->next) {
		const sml_obj_req_entry *e = node->object_list_entry;
		out.push_back(e ? test::hex(e->str, static_cast<size_t>(e->len)) : "absent");
	}
	return out;
}

// A request whose fields are all absent but for the object list.
std::string request_with_objects(const std::string &object_list) {
	return "79 01 01 01 01 01 01 01 " + object_list + " 01";
}

TEST(ProfilePackRequest, ObjectListIsAChainOfNames) {
	const struct {
		const char *object_list;
		std::vector<std::string> names;
		const char *rewritten; // NULL: rejected
	} cases[] = {
		{"71 02 AA", {"AA"}, "71 02 AA"},
		{"73 02 AA 02 BB 02 CC", {"AA", "BB", "CC"}, "73 02 AA 02 BB 02 CC"},
		{"72 01 03 AA BB", {"absent", "AA BB"}, "72 01 03 AA BB"},
		{"70", {}, "01"}, // an empty list reads as none
		{"01", {}, "01"},
		{"02 AA", {}, nullptr},
		{"72 02 AA 72", {}, nullptr},        // the second name is a list: the first node goes too
		{"FF FF FF 0F 02 AA", {}, nullptr}, // 65,535 names announced, one present
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.object_list);
		const std::string wire = request_with_objects(c.object_list);
		EXPECT_EQ(pack_request.roundtrip(test::canon(wire)),
			  c.rewritten ? test::canon(request_with_objects(c.rewritten)) : "rejected");
		if (!c.rewritten)
			continue;
		auto buf = test::parse_buf(wire);
		auto req = test::owned(sml_get_profile_pack_request_parse(buf.get()), sml_get_profile_pack_request_free);
		ASSERT_NE(req, nullptr);
		EXPECT_EQ(names(req->object_list), c.names);
	}
}

TEST(ProfilePackRequest, BuiltWithAnObjectList) {
	auto req = test::owned(sml_get_profile_pack_request_init(), sml_get_profile_pack_request_free);
	auto *second = static_cast<sml_obj_req_entry_list *>(std::calloc(1, sizeof(sml_obj_req_entry_list)));
	second->object_list_entry = test::octets("03 04");
	auto *first = static_cast<sml_obj_req_entry_list *>(std::calloc(1, sizeof(sml_obj_req_entry_list)));
	first->object_list_entry = test::octets("01 02");
	first->next = second;
	req->object_list = first;
	EXPECT_EQ(pack_request.bytes_of(req.get()), "79 01 01 01 01 01 01 01 72 03 01 02 03 03 04 01");
}

TEST(ProfilePackRequest, RoundTrips) {
	const std::string times = "72 62 01 65 00 00 00 01 72 62 01 65 00 00 00 02";
	test::check(pack_request, {
		{("79 02 AA 02 BB 02 CC 42 00 " + times + " 71 02 DD 71 02 EE 73 02 0A 01 01").c_str(),
		 ("79 02 AA 02 BB 02 CC 42 00 " + times + " 71 02 DD 71 02 EE 73 02 0A 01 01").c_str()},
		{"79 01 01 01 42 01 01 01 01 01 01", "79 01 01 01 42 FF 01 01 01 01 01"}, // true is written FF
		{"79 01 01 01 01 01 01 70 01 01", "79 01 01 01 01 01 01 70 01 01"},       // a path without names
		{"78 01 01 01 01 01 01 01 01", "rejected"},
		{"79 01 01 01 01 01 01 01 01 02 AA", "rejected"}, // details must be a tree
		{"01", "rejected"},
	});
	auto buf = test::parse_buf("79 01 01 01 42 01 01 01 01 01 01");
	auto req = test::owned(sml_get_profile_pack_request_parse(buf.get()), sml_get_profile_pack_request_free);
	ASSERT_NE(req, nullptr);
	EXPECT_NE(*req->with_rawdata, 0);
}

TEST(ProfilePackRequest, ServesBothRequestTags) {
	const std::string req = "79 02 AA 01 01 42 00 01 01 01 71 02 BB 01";
	const struct {
		const char *tag_read;
		const char *tag_written;
	} tags[] = {{"63 03 00", "65 00 00 03 00"}, {"63 04 00", "65 00 00 04 00"}};
	for (const auto &t : tags) {
		SCOPED_TRACE(t.tag_read);
		auto buf = test::parse_buf("72 " + std::string(t.tag_read) + " " + req);
		auto body = test::owned(sml_message_body_parse(buf.get()), sml_message_body_free);
		ASSERT_NE(body, nullptr);
		ASSERT_NE(body->data, nullptr);
		auto *read = static_cast<sml_get_profile_list_request *>(body->data);
		EXPECT_EQ(names(read->object_list), std::vector<std::string>{"BB"});
		EXPECT_EQ(test::written([&](sml_buffer *w) { sml_message_body_write(body.get(), w); }),
			  test::canon("72 " + std::string(t.tag_written) + " " + req));
	}
}

TEST(ProfileObjHeaderEntry, RoundTrips) {
	auto e = test::owned(sml_prof_obj_header_entry_init(), sml_prof_obj_header_entry_free);
	e->obj_name = test::octets("01 02");
	e->unit = static_cast<sml_unit *>(sml_number_init(30, SML_TL_UNSIGNED, 1));
	e->scaler = static_cast<i8 *>(sml_number_init(static_cast<u64>(-1), SML_TL_INTEGER, 1));
	EXPECT_EQ(header_entry.bytes_of(e.get()), "73 03 01 02 62 1E 52 FF");

	test::check(header_entry, {
		{"73 03 01 02 62 1E 52 FF", "73 03 01 02 62 1E 52 FF"},
		{"73 01 01 01", "73 01 01 01"},
		{"73 03 01 02 62 1E 62 FF", "rejected"}, // an unsigned scaler
		{"01", "rejected"},                      // an entry is never absent
	});
	auto buf = test::parse_buf("73 03 01 02 62 1E 52 FF");
	auto read = test::owned(sml_prof_obj_header_entry_parse(buf.get()), sml_prof_obj_header_entry_free);
	ASSERT_NE(read, nullptr);
	EXPECT_EQ(*read->unit, 30);
	EXPECT_EQ(*read->scaler, -1);
}

TEST(ProfileObjPeriodEntry, RoundTrips) {
	auto e = test::owned(sml_prof_obj_period_entry_init(), sml_prof_obj_period_entry_free);
	e->value_list = sml_sequence_init([](void *p) { sml_value_entry_free(static_cast<sml_value_entry *>(p)); });
	EXPECT_EQ(period_entry.bytes_of(e.get()), "74 01 01 70 01");

	const std::string eight = "69 00 00 00 00 00 00 00 05";
	test::check(period_entry, {
		{"74 01 01 70 01", "74 01 01 70 01"},
		{"74 01 62 05 70 01", ("74 01 " + eight + " 70 01").c_str()},
		{"74 72 62 01 65 00 00 00 01 01 72 72 62 07 01 72 01 02 AA 02 BB",
		 "74 72 62 01 65 00 00 00 01 01 72 72 62 07 01 72 01 02 AA 02 BB"},
		{"74 01 6A 00 00 00 00 00 00 00 00 05 70 01", "rejected"}, // a status of nine bytes
		{"74 01 01 01 01", "rejected"},                            // the value list is mandatory
		{"74 01 01 71 01 01", "rejected"},                         // and so are its entries
	});
	test::check(value_entry, {
		{"72 62 07 01", "72 62 07 01"},
		{"72 01 01", "72 01 01"},
		{"01", "rejected"},
	});
}

TEST(ProfilePackResponse, RoundTrips) {
	constexpr const char *header = "73 03 01 02 62 1E 52 FF";
	const std::string period = "74 72 62 01 65 00 00 00 01 69 00 00 00 00 00 00 00 05 71 72 62 07 01 01";
	const std::string full = std::string("78 02 AA 72 62 01 65 00 00 00 09 65 00 00 03 84 71 02 BB 72 ") + header +
				 " " + header + " 71 " + period + " 02 CC 02 DD";
	test::check(pack_response, {
		{"78 01 01 01 01 70 70 01 01", "78 01 01 01 01 70 70 01 01"},
		{"78 01 01 62 0F 01 70 70 01 01", "78 01 01 65 00 00 00 0F 01 70 70 01 01"},
		{full.c_str(), full.c_str()},
		{"78 01 01 01 01 01 70 01 01", "rejected"},    // no header list
		{"78 01 01 01 01 70 01 01 01", "rejected"},    // no period list
		{"78 01 01 01 01 70 71 01 01 01", "rejected"}, // an absent period
		{"78 01 01 01 01 FF FF FF 0F 73 01 01 01", "rejected"}, // 65,535 headers announced, one present
		{"77 01 01 01 01 70 70 01", "rejected"},
	});
	auto buf = test::parse_buf(full);
	auto resp = test::owned(sml_get_profile_pack_response_parse(buf.get()), sml_get_profile_pack_response_free);
	ASSERT_NE(resp, nullptr);
	EXPECT_EQ(*resp->reg_period, 900u);
	ASSERT_EQ(resp->header_list->elems_len, 2);
	EXPECT_EQ(*static_cast<sml_prof_obj_header_entry *>(resp->header_list->elems[1])->unit, 30);
	ASSERT_EQ(resp->period_list->elems_len, 1);
	auto *p = static_cast<sml_prof_obj_period_entry *>(resp->period_list->elems[0]);
	EXPECT_EQ(*p->status, 5u);
	ASSERT_EQ(p->value_list->elems_len, 1);
	EXPECT_EQ(*static_cast<sml_value_entry *>(p->value_list->elems[0])->value->data.uint8, 7);
}

TEST(ProfileListResponse, RoundTrips) {
	auto msg = test::owned(sml_get_profile_list_response_init(), sml_get_profile_list_response_free);
	msg->status = static_cast<u64 *>(sml_number_init(5, SML_TL_UNSIGNED, 8));
	msg->period_list = sml_sequence_init([](void *p) { sml_period_entry_free(static_cast<sml_period_entry *>(p)); });
	EXPECT_EQ(list_response.bytes_of(msg.get()), "79 01 01 01 01 01 69 00 00 00 00 00 00 00 05 70 01 01");
	sml_sequence_add(msg->period_list, nullptr);
	EXPECT_EQ(list_response.bytes_of(msg.get()), "79 01 01 01 01 01 69 00 00 00 00 00 00 00 05 71 01 01 01");

	constexpr const char *entry = "75 02 AA 62 1E 52 FF 62 05 01";
	test::check(list_response, {
		{"79 01 01 01 01 01 01 72 01 01 01 01", "79 01 01 01 01 01 01 72 01 01 01 01"}, // two absent entries
		{"79 01 01 01 01 01 62 05 70 01 01", "79 01 01 01 01 01 69 00 00 00 00 00 00 00 05 70 01 01"},
		{(std::string("79 02 AA 01 01 71 02 BB 01 01 72 ") + entry + " " + entry + " 01 02 CC").c_str(),
		 (std::string("79 02 AA 01 01 71 02 BB 01 01 72 ") + entry + " " + entry + " 01 02 CC").c_str()},
		{"79 01 01 01 01 01 01 01 01 01", "rejected"},     // no period list
		{"79 01 01 01 01 01 01 FF FF FF 0F 01 01", "rejected"}, // 65,535 entries announced, two present
		{"78 01 01 01 01 01 01 70 01", "rejected"},
	});
	auto buf = test::parse_buf(std::string("79 01 01 01 01 01 01 72 01 ") + entry + " 01 01");
	auto read = test::owned(sml_get_profile_list_response_parse(buf.get()), sml_get_profile_list_response_free);
	ASSERT_NE(read, nullptr);
	ASSERT_EQ(read->period_list->elems_len, 2);
	EXPECT_EQ(read->period_list->elems[0], nullptr);
	EXPECT_EQ(*static_cast<sml_period_entry *>(read->period_list->elems[1])->scaler, -1);
}

} // namespace
