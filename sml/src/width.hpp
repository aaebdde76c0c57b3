// The width rule shared by values and status words, in the tree and in the
// readings walk.
#pragma once

#include "wire.hpp"

namespace zelkor::detail {

// An integer held in a value or status takes the smallest power of two of
// bytes that holds its data. At namespace scope: a table local to the
// function is built on the stack at every call.
inline constexpr unsigned char integer_widths[9] = {1, 1, 2, 4, 4, 8, 8, 8, 8};

// By the number of data bytes. Nine or more would need 16 bytes, which
// nothing holds: 0 marks them as unreadable. A negative count (a field of
// nibble 0, or one cut off) gets width 1, so that the number reader itself
// rejects the field where it stands.
constexpr int integer_width(int data_bytes) {
	return data_bytes < 0 ? 1 : data_bytes > 8 ? 0 : integer_widths[data_bytes];
}

// The width of the integer at the reader's position, which does not move.
// It is the content length that counts, however many type-length bytes
// carry it: E0 06 00 00 01 00 is a 4-byte number as 65 00 00 01 00 is.
ZELKOR_HOT int integer_width(wire::reader at) { return integer_width(at.tl().length); }

static_assert(integer_width(-1) == 1 && integer_width(0) == 1 && integer_width(1) == 1 && integer_width(2) == 2 &&
	      integer_width(3) == 4 && integer_width(4) == 4 && integer_width(5) == 8 && integer_width(8) == 8 &&
	      integer_width(9) == 0);

} // namespace zelkor::detail
