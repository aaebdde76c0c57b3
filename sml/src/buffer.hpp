// The parse buffer's primitives as the library's own parsers use them:
// inlined, since a record parser asks them something for every field and a
// call into another module costs more than the answer. The exported
// sml_buf_* functions are these same functions.
#pragma once

#include <sml/sml_shared.h>

#include "wire.hpp"

namespace zelkor::detail::buf {

ZELKOR_HOT bool failed(const sml_buffer *b) { return b->error != 0; }

ZELKOR_HOT unsigned char current(const sml_buffer *b) {
	return b->cursor < b->buffer_len ? b->buffer[b->cursor] : 0x00;
}

ZELKOR_HOT int next_type(const sml_buffer *b) { return current(b) & SML_TL_LIST; }

ZELKOR_HOT bool optional_skipped(sml_buffer *b) {
	if (b->cursor < b->buffer_len && b->buffer[b->cursor] == SML_OPTIONAL_SKIPPED) {
		b->cursor++;
		return true;
	}
	return false;
}

ZELKOR_HOT int next_length(sml_buffer *b) {
	wire::reader r = wire::at_cursor(b);
	wire::type_length t = r.tl();
	b->cursor = r.pos;
	// A field cut off by the end of the bytes announces nothing.
	if (!t.whole)
		b->error = 1;
	return t.length;
}

// Moves the cursor past one whole element of any shape, checked by its
// type-length structure; one that cannot be stepped over (cut off, or type
// bits no element has) sets the flag and leaves the cursor where it was.
inline bool step_over(sml_buffer *b) {
	wire::reader r = wire::at_cursor(b);
	if (!wire::step(r)) {
		b->error = 1;
		return false;
	}
	b->cursor = r.pos;
	return true;
}

} // namespace zelkor::detail::buf
