// The width rule shared by values and status words.
#pragma once

namespace zelkor {

// An integer held in a value or status takes the smallest power of two of
// bytes that holds its data, from the low nibble n (data bytes + 1) of the
// first TL byte. Nibbles 10 to 15 would need 16 bytes, which nothing holds:
// 0 marks them as unreadable.
// By the nibble: data bytes 0 to 8 (nibbles 0 to 9), then none. At namespace
// scope: a table local to the function is built on the stack at every call.
inline constexpr unsigned char integer_widths[16] = {1, 1, 1, 2, 4, 4, 8, 8, 8, 8, 0, 0, 0, 0, 0, 0};

constexpr int integer_width(unsigned char first_tl_byte) { return integer_widths[first_tl_byte & 0x0F]; }

static_assert(integer_width(0x51) == 1 && integer_width(0x52) == 1 && integer_width(0x53) == 2 &&
	      integer_width(0x54) == 4 && integer_width(0x55) == 4 && integer_width(0x56) == 8 &&
	      integer_width(0x59) == 8 && integer_width(0x5A) == 0);

} // namespace zelkor
