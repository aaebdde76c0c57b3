// Every record codec of the library, untyped, in a fixed order: the fuzz
// target's first input byte indexes this table.
#pragma once

#include <sml/sml_attention_response.h>
#include <sml/sml_boolean.h>
#include <sml/sml_close_request.h>
#include <sml/sml_close_response.h>
#include <sml/sml_file.h>
#include <sml/sml_get_list_request.h>
#include <sml/sml_get_list_response.h>
#include <sml/sml_get_proc_parameter_request.h>
#include <sml/sml_get_proc_parameter_response.h>
#include <sml/sml_get_profile_list_response.h>
#include <sml/sml_get_profile_pack_request.h>
#include <sml/sml_get_profile_pack_response.h>
#include <sml/sml_list.h>
#include <sml/sml_list_type.h>
#include <sml/sml_message.h>
#include <sml/sml_number.h>
#include <sml/sml_octet_string.h>
#include <sml/sml_open_request.h>
#include <sml/sml_open_response.h>
#include <sml/sml_set_proc_parameter_request.h>
#include <sml/sml_status.h>
#include <sml/sml_time.h>
#include <sml/sml_tree.h>
#include <sml/sml_value.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

namespace fuzz {

struct codec {
	void *(*parse)(sml_buffer *buf);
	void (*write)(void *record, sml_buffer *buf);
	void (*release)(void *record);
};

template <class T, T *(*Parse)(sml_buffer *), void (*Write)(T *, sml_buffer *), void (*Free)(T *)>
constexpr codec record() {
	return {[](sml_buffer *buf) -> void * { return Parse(buf); },
		[](void *r, sml_buffer *buf) { Write(static_cast<T *>(r), buf); },
		[](void *r) { Free(static_cast<T *>(r)); }};
}

template <class Int> constexpr codec number() {
	constexpr unsigned char type = Int(-1) < Int(0) ? SML_TL_INTEGER : SML_TL_UNSIGNED;
	return {[](sml_buffer *buf) { return sml_number_parse(buf, type, sizeof(Int)); },
		[](void *n, sml_buffer *buf) { sml_number_write(n, type, sizeof(Int), buf); }, sml_number_free};
}

inline void value_free(void *v) { sml_value_free(static_cast<sml_value *>(v)); }

// A sequence of values, as callers of the generic sequence build one.
inline constexpr codec value_sequence = {
	[](sml_buffer *buf) -> void * {
		return sml_sequence_parse(buf, [](sml_buffer *b) -> void * { return sml_value_parse(b); }, value_free);
	},
	[](void *s, sml_buffer *buf) {
		sml_sequence_write(static_cast<sml_sequence *>(s), buf,
				   [](void *v, sml_buffer *b) { sml_value_write(static_cast<sml_value *>(v), b); });
	},
	[](void *s) { sml_sequence_free(static_cast<sml_sequence *>(s)); }};

#define RECORD(T) record<T, T##_parse, T##_write, T##_free>()

inline constexpr codec codecs[] = {
	record<octet_string, sml_octet_string_parse, sml_octet_string_write, sml_octet_string_free>(),
	number<u8>(), number<u16>(), number<u32>(), number<u64>(),
	number<i8>(), number<i16>(), number<i32>(), number<i64>(),
	RECORD(sml_boolean), RECORD(sml_value), RECORD(sml_time), RECORD(sml_status),
	record<sml_list, sml_list_parse, sml_list_write, sml_list_free>(),
	record<sml_list, sml_list_entry_parse, sml_list_entry_write, sml_list_entry_free>(),
	value_sequence,
	RECORD(sml_tree), RECORD(sml_tree_path), RECORD(sml_proc_par_value), RECORD(sml_period_entry),
	RECORD(sml_tupel_entry),
	RECORD(sml_message), RECORD(sml_message_body),
	RECORD(sml_open_request), RECORD(sml_open_response), RECORD(sml_close_request), RECORD(sml_close_response),
	RECORD(sml_get_list_request), RECORD(sml_get_list_response),
	RECORD(sml_get_proc_parameter_request), RECORD(sml_get_proc_parameter_response),
	RECORD(sml_set_proc_parameter_request), RECORD(sml_attention_response),
	RECORD(sml_get_profile_pack_request), RECORD(sml_get_profile_pack_response),
	RECORD(sml_prof_obj_header_entry), RECORD(sml_prof_obj_period_entry), RECORD(sml_value_entry),
	RECORD(sml_get_profile_list_response),
	RECORD(sml_list_type), // new parsers go last: committed seeds keep their numbers
};

struct buffer {
	sml_buffer *b;
	explicit buffer(size_t n) : b(sml_buffer_init(n)) {}
	buffer(const buffer &) = delete;
	buffer &operator=(const buffer &) = delete;
	~buffer() { sml_buffer_free(b); }
};

// A record parsed from bytes; ok is false when the parse failed.
struct parsed {
	void *record;
	bool ok;
};

inline parsed parse(const codec &c, const unsigned char *p, size_t n) {
	buffer in(n);
	if (n)
		std::memcpy(in.b->buffer, p, n);
	void *r = c.parse(in.b);
	if (in.b->error) {
		// A few parsers hand back what they read before the failure (a
		// parameter value with its tag, a body with its tag) for their
		// callers to release.
		if (r)
			c.release(r);
		return {nullptr, false};
	}
	return {r, true};
}

inline std::vector<unsigned char> written(const codec &c, void *record) {
	buffer out(0);
	c.write(record, out.b);
	return {out.b->buffer, out.b->buffer + out.b->cursor};
}

// Every element of the bytes from at on, lists and their items alike, as
// [begin, end); at ends after the element.
inline void elements(const std::vector<unsigned char> &b, size_t &at, int depth,
		     std::vector<std::pair<size_t, size_t>> &out) {
	if (depth > 32 || at >= b.size())
		return;
	sml_buffer buf{const_cast<unsigned char *>(b.data()), b.size(), at, 0, nullptr};
	size_t begin = at;
	if (b[at] == 0x00) {
		at++;
		return;
	}
	int type = sml_buf_get_next_type(&buf);
	int len = sml_buf_get_next_length(&buf);
	if (len < 0) {
		at = b.size();
		return;
	}
	at = buf.cursor;
	if (type == SML_TL_LIST) {
		for (int i = 0; i < len && at < b.size(); i++)
			elements(b, at, depth + 1, out);
	} else {
		at = std::min(b.size(), at + static_cast<size_t>(len));
	}
	out.emplace_back(begin, at);
}

} // namespace fuzz
