// Records read from hex and written back: what a record's four operations do
// to a wire form, as one string per case.
#pragma once

#include <initializer_list>
#include <string>

#include "sml_test.hpp"

namespace test {

template <class T> struct record_ops {
	T *(*parse)(sml_buffer *);
	void (*write)(T *, sml_buffer *);
	void (*release)(T *);

	// The bytes the parsed record writes back; "rejected" when the parse
	// fails (flag set, NULL), "absent" when it gives NULL without an error.
	std::string roundtrip(const std::string &wire) const {
		auto buf = parse_buf(wire);
		auto rec = owned(parse(buf.get()), release);
		if (buf->error) {
			EXPECT_EQ(rec, nullptr) << wire;
			return "rejected";
		}
		EXPECT_EQ(buf->cursor, buf->buffer_len) << wire;
		if (!rec)
			return "absent";
		return written([&](sml_buffer *w) { write(rec.get(), w); });
	}

	// Writes a record built by hand.
	std::string bytes_of(T *rec) const {
		return written([&](sml_buffer *w) { write(rec, w); });
	}
};

#define TEST_RECORD_OPS(T) (test::record_ops<T>{T##_parse, T##_write, T##_free})

struct roundtrip_case {
	const char *wire;
	const char *out; // hex, "rejected" or "absent"
};

inline std::string expected(const char *out) {
	std::string s = out;
	return s == "rejected" || s == "absent" ? s : canon(s);
}

template <class T> void check(const record_ops<T> &ops, std::initializer_list<roundtrip_case> cases) {
	for (const auto &c : cases)
		EXPECT_EQ(ops.roundtrip(canon(c.wire)), expected(c.out)) << c.wire;
}

// n copies of hex, blank-separated.
inline std::string repeat(const std::string &hex, int n) {
	std::string s;
	for (int i = 0; i < n; i++)
		s += (i ? " " : "") + hex;
	return s;
}

} // namespace test
