// The bytes a parser may still take from a buffer.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include <sml/sml_shared.h>

namespace zelkor {

// The bytes from the cursor to the end of the buffer.
inline std::span<unsigned char> unread(sml_buffer *buf) {
	size_t at = buf->cursor < buf->buffer_len ? buf->cursor : buf->buffer_len;
	return {buf->buffer + at, buf->buffer_len - at};
}

// The next n content bytes, or nothing when a TL field announced more (or a
// negative length) than the buffer holds.
inline std::optional<std::span<unsigned char>> content(sml_buffer *buf, int n) {
	auto rest = unread(buf);
	if (n < 0 || static_cast<size_t>(n) > rest.size())
		return std::nullopt;
	return rest.first(static_cast<size_t>(n));
}

} // namespace zelkor
