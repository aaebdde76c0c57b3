// Records that travel as a fixed list of fields.
//
// A record module names its fields once, in wire order:
//
//   using layout = record<sml_open_request, absent::rejected,
//                         field<&sml_open_request::codepage>, ...>;
//   ZELKOR_RECORD_API(sml_open_request, layout)
//
// and gets the four C operations: _init (zeroed, every field NULL; NULL when
// out of memory), _parse (list header check, field by field, the partial
// record released on the first error, running out of memory among them),
// _write (list header, every field, NULL fields as the optional marker) and
// _free. Each field's codec follows from its type; u8 fields that are
// booleans and sequence fields name theirs explicitly.
#pragma once

#include <cstdlib>
#include <memory>
#include <type_traits>

#include <sml/sml_boolean.h>
#include <sml/sml_list.h>
#include <sml/sml_number.h>
#include <sml/sml_octet_string.h>
#include <sml/sml_shared.h>
#include <sml/sml_status.h>
#include <sml/sml_time.h>
#include <sml/sml_tree.h>
#include <sml/sml_value.h>

#include "buffer.hpp"
#include "number.hpp"
#include "zeroed.hpp"

namespace zelkor::detail {

// The list header of a record of n fields; anything else fails the parse.
inline bool expect_list(sml_buffer *buf, int n) {
	if (zelkor::detail::buf::next_type(buf) != SML_TL_LIST || zelkor::detail::buf::next_length(buf) != n || buf->error) {
		buf->error = 1;
		return false;
	}
	return true;
}

// Codec of a field of type T*: static parse, write and release.
template <class T> struct codec_of;

template <class T, T *(*Parse)(sml_buffer *), void (*Write)(T *, sml_buffer *), void (*Free)(T *)>
struct function_codec {
	static T *parse(sml_buffer *buf) { return Parse(buf); }
	static void write(T *v, sml_buffer *buf) { Write(v, buf); }
	static void release(T *v) { Free(v); }
};

#define ZELKOR_CODEC(T, prefix)                                                                    \
	template <>                                                                                \
	struct codec_of<T> : function_codec<T, prefix##_parse, prefix##_write, prefix##_free> {}

ZELKOR_CODEC(octet_string, sml_octet_string);
ZELKOR_CODEC(sml_value, sml_value);
ZELKOR_CODEC(sml_time, sml_time);
ZELKOR_CODEC(sml_status, sml_status);
ZELKOR_CODEC(sml_list, sml_list);
ZELKOR_CODEC(sml_tree, sml_tree);
ZELKOR_CODEC(sml_tree_path, sml_tree_path);
ZELKOR_CODEC(sml_proc_par_value, sml_proc_par_value);
ZELKOR_CODEC(sml_period_entry, sml_period_entry);
ZELKOR_CODEC(sml_tupel_entry, sml_tupel_entry);

// Integers are read at any wire length up to their width and written at
// their full width; signedness follows from the C type.
template <class Int> struct number_codec {
	static constexpr unsigned char type = std::is_signed_v<Int> ? SML_TL_INTEGER : SML_TL_UNSIGNED;
	static Int *parse(sml_buffer *buf) {
		return static_cast<Int *>(parse_number(buf, type, sizeof(Int)));
	}
	static void write(Int *v, sml_buffer *buf) { sml_number_write(v, type, sizeof(Int), buf); }
	static void release(Int *v) { sml_number_free(v); }
};

template <> struct codec_of<u8> : number_codec<u8> {};
template <> struct codec_of<u16> : number_codec<u16> {};
template <> struct codec_of<u32> : number_codec<u32> {};
template <> struct codec_of<u64> : number_codec<u64> {};
template <> struct codec_of<i8> : number_codec<i8> {};
template <> struct codec_of<i16> : number_codec<i16> {};
template <> struct codec_of<i32> : number_codec<i32> {};
template <> struct codec_of<i64> : number_codec<i64> {};

// sml_boolean is u8, so boolean fields name this codec.
using boolean_codec = function_codec<sml_boolean, sml_boolean_parse, sml_boolean_write, sml_boolean_free>;

// A mandatory sequence of one element type, given its untyped adapters.
template <void *(*Parse)(sml_buffer *), void (*Write)(void *, sml_buffer *), void (*Free)(void *)>
struct sequence_codec {
	static sml_sequence *parse(sml_buffer *buf) { return sml_sequence_parse(buf, Parse, Free); }
	static void write(sml_sequence *seq, sml_buffer *buf) { sml_sequence_write(seq, buf, Write); }
	static void release(sml_sequence *seq) { sml_sequence_free(seq); }
};

// Reads one field with the codec of its type; false once the error flag is set.
template <class T> bool read_field(sml_buffer *buf, T *&field) {
	field = codec_of<T>::parse(buf);
	return !zelkor::detail::buf::failed(buf);
}

template <class> struct member_traits;
template <class R, class T> struct member_traits<T *R::*> {
	using record = R;
	using type = T;
};

template <auto Member, class Codec = codec_of<typename member_traits<decltype(Member)>::type>>
struct field {
	template <class R> static void parse(R *r, sml_buffer *buf) { r->*Member = Codec::parse(buf); }
	template <class R> static void write(R *r, sml_buffer *buf) { Codec::write(r->*Member, buf); }
	template <class R> static void release(R *r) { Codec::release(r->*Member); }
};

// Whether a record may stand absent (the optional marker) where it is read.
enum class absent { rejected, accepted };

template <class R, absent Absent, class... Fields> struct record {
	static constexpr int count = sizeof...(Fields);

	static R *init() { return zeroed<R>(); }

	static void release(R *r) {
		if (!r)
			return;
		(Fields::release(r), ...);
		std::free(r);
	}

	struct deleter {
		void operator()(R *r) const { release(r); }
	};
	using owned = std::unique_ptr<R, deleter>;

	static R *parse(sml_buffer *buf) {
		if (Absent == absent::accepted && zelkor::detail::buf::optional_skipped(buf))
			return nullptr;
		if (!expect_list(buf, count))
			return nullptr;
		owned r{init()};
		// Out of memory fails the parse as bad input would: by the flag.
		if (!r) {
			buf->error = 1;
			return nullptr;
		}
		// Stops at the first field that sets the error flag.
		bool ok = ((Fields::parse(r.get(), buf), !zelkor::detail::buf::failed(buf)) && ...);
		return ok ? r.release() : nullptr;
	}

	// A NULL record is written as the optional marker.
	static void write(R *r, sml_buffer *buf) {
		if (!r) {
			sml_buf_optional_write(buf);
			return;
		}
		sml_buf_set_type_and_length(buf, SML_TL_LIST, count);
		(Fields::write(r, buf), ...);
	}
};

// Untyped adapters for sequences and the body dispatch.
template <auto Parse> void *erased_parse(sml_buffer *buf) { return Parse(buf); }
template <auto Write, class T> void erased_write(void *p, sml_buffer *buf) { Write(static_cast<T *>(p), buf); }
template <auto Free, class T> void erased_free(void *p) { Free(static_cast<T *>(p)); }

} // namespace zelkor::detail

// The four C operations of a record type, from its layout.
#define ZELKOR_RECORD_API(T, Layout)                                                               \
	extern "C" T *T##_init(void) { return Layout::init(); }                                   \
	extern "C" T *T##_parse(sml_buffer *buf) { return Layout::parse(buf); }                   \
	extern "C" void T##_write(T *msg, sml_buffer *buf) { Layout::write(msg, buf); }           \
	extern "C" void T##_free(T *msg) { Layout::release(msg); }
