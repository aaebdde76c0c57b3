// Open, close and GetList bodies: bytes in, records out, the same bytes back.
#include <sml/sml_close_request.h>
#include <sml/sml_close_response.h>
#include <sml/sml_get_list_request.h>
#include <sml/sml_get_list_response.h>
#include <sml/sml_open_request.h>
#include <sml/sml_open_response.h>

#include "roundtrip.hpp"

namespace {

constexpr auto open_request = TEST_RECORD_OPS(sml_open_request);
constexpr auto open_response = TEST_RECORD_OPS(sml_open_response);
constexpr auto close_request = TEST_RECORD_OPS(sml_close_request);
constexpr auto close_response = TEST_RECORD_OPS(sml_close_response);
constexpr auto get_list_request = TEST_RECORD_OPS(sml_get_list_request);
constexpr auto get_list_response = TEST_RECORD_OPS(sml_get_list_response);

using test::check;

TEST(OpenRequest, RoundTrips) {
	check(open_request, {
		{"77 01 01 01 01 01 01 01", "77 01 01 01 01 01 01 01"},
		{"77 01 01 01 01 01 01 62 05", "77 01 01 01 01 01 01 62 05"},
		{"77 02 31 03 AA BB 01 07 0A 01 45 42 5A 01 01 01 62 00", "77 02 31 03 AA BB 01 07 0A 01 45 42 5A 01 01 01 62 00"},
		{"76 01 01 01 01 01 01", "rejected"},
		{"77 01 01 01 01 01 01 63 00 05", "rejected"}, // version wider than a byte
		{"77 01 01 01 01 01 01 52 05", "rejected"},    // signed version
		{"01", "rejected"},
	});
}

TEST(OpenResponse, RoundTrips) {
	check(open_response, {
		{"76 01 01 01 01 01 62 01", "76 01 01 01 01 01 62 01"},
		{"76 01 01 07 01 02 03 04 05 06 01 72 62 01 65 00 00 0E 10 62 01",
		 "76 01 01 07 01 02 03 04 05 06 01 72 62 01 65 00 00 0E 10 62 01"},
		{"77 01 01 01 01 01 01 01", "rejected"},
		// A malformed time after four strings: everything read so far is released.
		{"76 02 31 03 AA BB 02 CC 02 DD 72 62 01 52 05 62 01", "rejected"},
	});
}

TEST(CloseBodies, RoundTripAndShareTheirRecord) {
	// sml_close_response is the same record type under a second name.
	for (auto *ops : {&close_request, &close_response}) {
		check(*ops, {
			{"71 01", "71 01"},
			{"71 03 AB CD", "71 03 AB CD"},
			{"70", "rejected"},
			{"72 01 01", "rejected"},
		});
	}
	auto req = test::owned(sml_close_request_init(), sml_close_request_free);
	EXPECT_EQ(test::written([&](sml_buffer *w) { sml_close_response_write(req.get(), w); }), "71 01");
}

TEST(GetListRequest, RoundTrips) {
	auto req = test::owned(sml_get_list_request_init(), sml_get_list_request_free);
	unsigned char name[] = {0x01, 0x02};
	req->list_name = sml_octet_string_init(name, 2);
	EXPECT_EQ(test::written([&](sml_buffer *w) { sml_get_list_request_write(req.get(), w); }),
		  "75 01 01 01 01 03 01 02");
	check(get_list_request, {
		{"75 01 01 01 01 01", "75 01 01 01 01 01"},
		{"74 01 01 01 01", "rejected"},
	});
}

TEST(GetListResponse, RoundTripsItsValueList) {
	constexpr const char *entry = "77 07 01 00 01 08 00 FF 01 01 62 1E 52 FF 63 03 DB 01";
	std::string three = std::string("77 01 07 01 02 03 04 05 06 01 01 73 ") + entry + " " + entry + " " + entry + " 01 01";
	check(get_list_response, {
		{"77 01 01 01 01 01 01 01", "77 01 01 01 01 01 01 01"},
		{"77 01 01 01 01 70 01 01", "77 01 01 01 01 01 01 01"}, // an empty value list reads as none
		{three.c_str(), three.c_str()},
		{"76 01 01 01 01 01 01", "rejected"},
		// The second entry is broken: the strings, the time and the first entry are released.
		{"77 02 AA 02 BB 02 CC 72 62 01 65 00 00 00 01 72 77 01 01 01 01 01 01 01 76 01 01 01 01 01 01 01 01",
		 "rejected"},
	});
	auto buf = test::parse_buf(three);
	auto resp = test::owned(sml_get_list_response_parse(buf.get()), sml_get_list_response_free);
	ASSERT_NE(resp, nullptr);
	int n = 0;
	for (const sml_list *e = resp->val_list; e; e = e->next, n++)
		EXPECT_EQ(*e->value->data.uint16, 987);
	EXPECT_EQ(n, 3);
}

} // namespace
