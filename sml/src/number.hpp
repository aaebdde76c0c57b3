// Integers as the tree keeps them: read at any wire length up to their width,
// stored in a heap block of exactly that width in host order. Inlined into
// the record parsers, which read one for most fields, so that a constant
// width folds into the checks.
#pragma once

#include <bit>
#include <cstdlib>
#include <cstring>

#include <sml/sml_shared.h>

#include "wire.hpp"

namespace zelkor::detail {

// NULL for the optional marker (no error) or on failure (error flag set).
ZELKOR_HOT void *parse_number(sml_buffer *buf, unsigned char type, int max_size) {
	if (max_size < 1 || max_size > 8) {
		buf->error = 1;
		return nullptr;
	}
	// Absent numbers are as common as present ones: status, unit and scaler.
	if (buf->cursor < buf->buffer_len && buf->buffer[buf->cursor] == SML_OPTIONAL_SKIPPED) {
		buf->cursor++;
		return nullptr;
	}
	// A number longer than the width is an error even when its leading bytes are zero.
	wire::reader r = wire::at_cursor(buf);
	auto n = wire::number(r, type, max_size);
	buf->cursor = r.pos;
	if (n.what != wire::got::value) {
		if (n.what == wire::got::error)
			buf->error = 1;
		return nullptr;
	}
	// Widened to 64 bits (sign-extended for an integer), the number's first
	// max_size bytes in host order are the number at its width.
	auto *np = static_cast<unsigned char *>(std::malloc(static_cast<size_t>(max_size)));
	// Out of memory fails the parse as bad input would: by the flag.
	if (!np) {
		buf->error = 1;
		return nullptr;
	}
	auto *bytes = reinterpret_cast<const unsigned char *>(&n.value);
	std::memcpy(np, std::endian::native == std::endian::big ? bytes + sizeof(n.value) - max_size : bytes,
		    static_cast<size_t>(max_size));
	return np;
}

} // namespace zelkor::detail
