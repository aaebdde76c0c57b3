// List-typed values:
//   72 | tag (62 tt) | content
//   tag 1  time               content: a time, 72 ...
//   tag 2  timestamped value  content: one element, kept as encoded
//   tag 3  COSEM value        content: one element, kept as encoded
#include <sml/sml_list_type.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "buffer.hpp"
#include "record.hpp"
#include "room.hpp"
#include "wire.hpp"
#include "zeroed.hpp"

using namespace zelkor::detail;

namespace {

// The time of a list-typed value is a whole time: the bare number some
// meters send in place of an entry's val_time does not stand here.
struct list_time_codec {
	static sml_time *parse(sml_buffer *buf) {
		if (zelkor::detail::buf::next_type(buf) != SML_TL_LIST) {
			buf->error = 1;
			return nullptr;
		}
		return sml_time_parse(buf);
	}
	static void write(sml_time *t, sml_buffer *buf) { sml_time_write(t, buf); }
	static void release(sml_time *t) { sml_time_free(t); }
};

// One element of any shape, checked by its type-length structure and held
// as its exact bytes.
struct encoded_codec {
	static octet_string *parse(sml_buffer *buf) {
		size_t start = buf->cursor;
		if (!zelkor::detail::buf::step_over(buf))
			return nullptr;
		octet_string *e = sml_octet_string_init(buf->buffer + start, static_cast<int>(buf->cursor - start));
		// Out of memory fails the parse as bad input would: by the flag.
		if (!e)
			buf->error = 1;
		return e;
	}
	static void write(octet_string *e, sml_buffer *buf) {
		if (!e || e->len <= 0) {
			sml_buf_optional_write(buf);
			return;
		}
		if (unsigned char *out = room(buf, static_cast<size_t>(e->len))) {
			std::memcpy(out, e->str, static_cast<size_t>(e->len));
			sml_buf_update_bytes_read(buf, e->len);
		}
	}
	static void release(octet_string *e) { sml_octet_string_free(e); }
};

// Calls f with the codec and the member the tag names; false for any other tag.
template <class F> bool with_content(sml_list_type *lt, F &&f) {
	switch (*lt->tag) {
	case SML_LIST_TYPE_TIME:
		f(list_time_codec{}, lt->data.time);
		return true;
	case SML_LIST_TYPE_TIMESTAMPED_VALUE:
	case SML_LIST_TYPE_COSEM_VALUE:
		f(encoded_codec{}, lt->data.encoded);
		return true;
	}
	return false;
}

struct list_type_deleter {
	void operator()(sml_list_type *lt) const { sml_list_type_free(lt); }
};

} // namespace

extern "C" {

sml_list_type *sml_list_type_init(void) {
	return zelkor::detail::zeroed<sml_list_type>();
}

sml_list_type *sml_list_type_parse(sml_buffer *buf) {
	if (zelkor::detail::buf::optional_skipped(buf))
		return nullptr;
	if (!expect_list(buf, 2))
		return nullptr;
	std::unique_ptr<sml_list_type, list_type_deleter> lt{sml_list_type_init()};
	// Out of memory fails the parse as bad input would: by the flag.
	if (!lt) {
		buf->error = 1;
		return nullptr;
	}
	if (!read_field(buf, lt->tag))
		return nullptr;
	// Without a tag nothing says what the content is.
	if (!lt->tag || !with_content(lt.get(), [buf](auto codec, auto &p) { p = codec.parse(buf); })) {
		buf->error = 1;
		return nullptr;
	}
	if (zelkor::detail::buf::failed(buf))
		return nullptr;
	return lt.release();
}

void sml_list_type_write(sml_list_type *list_type, sml_buffer *buf) {
	if (!list_type) {
		sml_buf_optional_write(buf);
		return;
	}
	sml_buf_set_type_and_length(buf, SML_TL_LIST, 2);
	codec_of<u8>::write(list_type->tag, buf);
	if (!list_type->tag || !with_content(list_type, [buf](auto codec, auto &p) { codec.write(p, buf); }))
		sml_buf_optional_write(buf);
}

void sml_list_type_free(sml_list_type *list_type) {
	if (!list_type)
		return;
	if (!list_type->tag || !with_content(list_type, [](auto codec, auto &p) { codec.release(p); })) {
		// No tag names the content's type: all it can be released as is memory.
		void *content;
		std::memcpy(&content, &list_type->data, sizeof content);
		std::free(content);
	}
	sml_number_free(list_type->tag);
	std::free(list_type);
}

} // extern "C"
