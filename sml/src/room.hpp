// Room at a write buffer's cursor.
#pragma once

#include <cstddef>

#include <sml/sml_shared.h>

namespace zelkor::detail {

// Where n more bytes go, the buffer grown first; NULL when it could not grow.
// sml_buf_reserve has then set the error flag, and nothing may be written:
// the cursor never passes the end of the area.
inline unsigned char *room(sml_buffer *buf, size_t n) {
	sml_buf_reserve(buf, n);
	return buf->cursor <= buf->buffer_len && n <= buf->buffer_len - buf->cursor ? buf->buffer + buf->cursor
										     : nullptr;
}

} // namespace zelkor::detail
