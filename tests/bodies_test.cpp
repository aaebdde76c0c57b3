// Open, close and GetList bodies: bytes in, records out, the same bytes back.
#include <sml/sml_close_request.h>
#include <sml/sml_close_response.h>
#include <sml/sml_get_list_request.h>
#include <sml/sml_get_list_response.h>
#include <sml/sml_open_request.h>
#include <sml/sml_open_response.h>

#include "sml_test.hpp"

namespace {

// Parses wire with a body's operations; a rejected body leaves the flag set and NULL.
template <class T> struct body_ops {
	T *(*parse)(sml_buffer *);
	void (*write)(T *, sml_buffer *);
	void (*release)(T *);

	// The bytes the parsed record writes back, or "rejected".
	std::string roundtrip(const std::string &wire) const {
		auto buf = test::parse_buf(wire);
		auto rec = test::owned(parse(buf.get()), release);
		if (!rec) {
			EXPECT_TRUE(buf->error) << wire;
			return "rejected";
		}
		EXPECT_FALSE(buf->error) << wire;
		EXPECT_EQ(buf->cursor, buf->buffer_len) << wire;
		return test::written([&](sml_buffer *w) { write(rec.get(), w); });
	}
};

constexpr body_ops<sml_open_request> open_request{sml_open_request_parse, sml_open_request_write, sml_open_request_free};
constexpr body_ops<sml_open_response> open_response{sml_open_response_parse, sml_open_response_write,
						    sml_open_response_free};
constexpr body_ops<sml_close_request> close_request{sml_close_request_parse, sml_close_request_write,
						    sml_close_request_free};
constexpr body_ops<sml_close_response> close_response{sml_close_response_parse, sml_close_response_write,
						      sml_close_response_free};
constexpr body_ops<sml_get_list_request> get_list_request{sml_get_list_request_parse, sml_get_list_request_write,
							  sml_get_list_request_free};
constexpr body_ops<sml_get_list_response> get_list_response{sml_get_list_response_parse,
							    sml_get_list_response_write, sml_get_list_response_free};

// In: the wire; out: what the parsed record writes ("rejected" when it does not parse).
struct roundtrip_case {
	const char *wire;
	const char *out;
};

template <class T> void check(const body_ops<T> &ops, std::initializer_list<roundtrip_case> cases) {
	for (const auto &c : cases)
		EXPECT_EQ(ops.roundtrip(test::canon(c.wire)), c.out == std::string("rejected") ? c.out : test::canon(c.out))
			<< c.wire;
}

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
