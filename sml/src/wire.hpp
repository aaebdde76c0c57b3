// Elements read in place from const bytes: type-length fields, the optional
// marker, octet strings, integers, booleans, and whole elements stepped over.
//
// The tree parsers read through these, and so does the reading walker, which
// is why the two accept exactly the same wire forms. Nothing here allocates
// or reads outside [bytes, bytes + len).
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

#include <sml/sml_shared.h>

// The readers of single fields run for every element of every file: inlined
// into their callers, the usual one-byte fields cost a few instructions.
#define ZELKOR_HOT [[gnu::always_inline]] inline

namespace zelkor::detail::wire {

struct type_length {
	int type;    // type bits of the first byte; an octet string past the end
	int length;  // a list's element count, else the data bytes after the field
	size_t size; // bytes the field takes, never more than there are
	bool whole;  // false when the end came before the field's last byte, or
	             // the length is beyond an int: no length can be trusted
};

// Eight nibbles make the 32 bits a length has. A longer field is refused:
// no meter sends one, and a reader that met it again and again (a profile
// pack's header, once per period) would pay its length every time.
inline constexpr size_t max_type_length_bytes = 8;

// A length nibble follows in the next byte while SML_TL_MORE is set. The
// length of anything but a list counts its own TL bytes, so the byte 0x00
// announces -1 data bytes, which no reader accepts.
constexpr type_length read_type_length(const unsigned char *p, size_t n) {
	int type = n ? (p[0] & SML_TL_LIST) : SML_TL_OCTET_STRING;
	// A field longer than allowed reads as one cut off there.
	n = std::min(n, max_type_length_bytes);
	uint32_t value = 0;
	int64_t tl_bytes = 1;
	size_t i = 0;
	while (i < n) {
		value = (value << 4) | (p[i] & SML_TL_LENGTH_MASK);
		if (!(p[i] & SML_TL_MORE))
			break;
		i++;
		tl_bytes++;
	}
	// A field cut off by the end (or by the limit) ends there, never beyond,
	// and is no field at all: its length is unknown.
	bool whole = i < n;
	if (whole)
		i++;
	// Nor is one whose length an int cannot hold: read as one, a list of
	// 2^31 elements or more would count below zero and pass for empty.
	whole = whole && value <= INT32_MAX;
	auto v = static_cast<int64_t>(static_cast<int32_t>(value));
	return {type, static_cast<int>(type == SML_TL_LIST ? v : v - tl_bytes), i, whole};
}

// Bytes and a position in them. Past the end every byte reads as 0x00, which
// no element reader accepts.
struct reader {
	const unsigned char *bytes;
	size_t len;
	size_t pos;

	ZELKOR_HOT size_t left() const { return pos < len ? len - pos : 0; }
	ZELKOR_HOT unsigned char current() const { return pos < len ? bytes[pos] : 0x00; }
	ZELKOR_HOT int next_type() const { return current() & SML_TL_LIST; }

	ZELKOR_HOT bool optional() {
		if (pos < len && bytes[pos] == SML_OPTIONAL_SKIPPED) {
			pos++;
			return true;
		}
		return false;
	}

	ZELKOR_HOT type_length tl() {
		// Almost every field has a one-byte type-length field.
		if (pos < len && !(bytes[pos] & SML_TL_MORE)) {
			int type = bytes[pos] & SML_TL_LIST;
			int n = bytes[pos++] & SML_TL_LENGTH_MASK;
			return {type, type == SML_TL_LIST ? n : n - 1, 1, true};
		}
		size_t at = std::min(pos, len);
		type_length t = read_type_length(bytes + at, len - at);
		pos += t.size;
		return t;
	}

	// The next n bytes, or nothing when a field announced more (or a
	// negative length) than there are.
	ZELKOR_HOT std::optional<std::span<const unsigned char>> content(int n) const {
		if (n < 0 || static_cast<size_t>(n) > left())
			return std::nullopt;
		return std::span<const unsigned char>{bytes + pos, static_cast<size_t>(n)};
	}
};

// What reading one field gave.
enum class got : unsigned char { absent, value, error };

template <class T> struct field {
	got what;
	T value;
};

using bytes_field = field<std::span<const unsigned char>>;

// The data bytes of a field of the given type bits. A failed read leaves the
// position after the type-length field.
ZELKOR_HOT bytes_field typed_content(reader &r, int type) {
	if (r.next_type() != type)
		return {got::error, {}};
	type_length t = r.tl();
	auto c = r.content(t.length);
	if (!c || !t.whole)
		return {got::error, {}};
	r.pos += c->size();
	return {got::value, *c};
}

ZELKOR_HOT bytes_field octet_string(reader &r) {
	// The usual string, read at once, as number() does.
	if (r.pos < r.len) {
		unsigned char first = r.bytes[r.pos];
		// Six bytes, an OBIS name, at a constant step (see number()).
		if (first == 0x07 && 6 < r.len - r.pos) {
			r.pos += 7;
			return {got::value, {r.bytes + r.pos - 6, 6}};
		}
		int n = (first & SML_TL_LENGTH_MASK) - 1;
		if (!(first & (SML_TL_MORE | SML_TL_LIST)) && n > 0 && static_cast<size_t>(n) < r.len - r.pos) {
			auto data = std::span<const unsigned char>{r.bytes + r.pos + 1, static_cast<size_t>(n)};
			r.pos += 1 + static_cast<size_t>(n);
			return {got::value, data};
		}
	}
	if (r.optional())
		return {got::absent, {}};
	return typed_content(r, SML_TL_OCTET_STRING);
}

// An integer's data bytes, at most max_size of them, even when the leading
// ones are zero.
ZELKOR_HOT bytes_field number_bytes(reader &r, int type, int max_size) {
	if (r.optional())
		return {got::absent, {}};
	bytes_field f = typed_content(r, type);
	if (f.what == got::value && f.value.size() > static_cast<size_t>(max_size))
		return {got::error, {}};
	return f;
}

template <class Int> ZELKOR_HOT uint64_t load_big_endian(const unsigned char *p) {
	Int v;
	std::memcpy(&v, p, sizeof v);
	if constexpr (std::endian::native == std::endian::little) {
		if constexpr (sizeof v == 2)
			v = __builtin_bswap16(v);
		else if constexpr (sizeof v == 4)
			v = __builtin_bswap32(v);
		else
			v = __builtin_bswap64(v);
	}
	return v;
}

// Big-endian data bytes (at most 8) widened to 64 bits: sign-extended from
// the first byte for SML_TL_INTEGER, zero-filled otherwise.
ZELKOR_HOT uint64_t widen(std::span<const unsigned char> data, int type) {
	size_t n = data.size();
	const unsigned char *p = data.data();
	uint64_t v = 0;
	// The widths meters use, each in one load.
	switch (n) {
	case 0:
		return 0;
	case 1:
		v = p[0];
		break;
	case 2:
		v = load_big_endian<uint16_t>(p);
		break;
	case 4:
		v = load_big_endian<uint32_t>(p);
		break;
	case 8:
		return load_big_endian<uint64_t>(p);
	default:
		for (size_t i = 0; i < n; i++)
			v = (v << 8) | p[i];
	}
	if (type == SML_TL_INTEGER) {
		unsigned shift = 64 - 8 * static_cast<unsigned>(n);
		v = static_cast<uint64_t>(static_cast<int64_t>(v << shift) >> shift);
	}
	return v;
}

// An integer of at most max_size (up to 8) data bytes.
ZELKOR_HOT field<uint64_t> number(reader &r, int type, int max_size) {
	// The usual field, read at once: a one-byte type-length field of the
	// type, and data that fits. Anything else takes the general way.
	if (r.pos < r.len) {
		unsigned char first = r.bytes[r.pos];
		// The full width, what meters send most: the position moves by a
		// constant, which the processor need not wait for the byte to know.
		if (first == (type | (max_size + 1)) && static_cast<size_t>(max_size) < r.len - r.pos) {
			auto data = std::span<const unsigned char>{r.bytes + r.pos + 1, static_cast<size_t>(max_size)};
			r.pos += 1 + static_cast<size_t>(max_size);
			return {got::value, widen(data, type)};
		}
		// The nibble counts the type-length byte: 0 wraps to a huge length.
		size_t n = static_cast<size_t>(first & SML_TL_LENGTH_MASK) - 1;
		if ((first & (SML_TL_MORE | SML_TL_LIST)) == type && n <= static_cast<size_t>(max_size) &&
		    n < r.len - r.pos) {
			auto data = std::span<const unsigned char>{r.bytes + r.pos + 1, n};
			r.pos += 1 + n;
			return {got::value, widen(data, type)};
		}
	}
	bytes_field f = number_bytes(r, type, max_size);
	return {f.what, f.what == got::value ? widen(f.value, type) : 0};
}

// Exactly one data byte; any non-zero byte is true.
ZELKOR_HOT field<bool> boolean(reader &r) {
	if (r.optional())
		return {got::absent, false};
	bytes_field f = typed_content(r, SML_TL_BOOLEAN);
	if (f.what == got::value && f.value.size() != 1)
		return {got::error, false};
	return {f.what, f.what == got::value && f.value.front() != 0};
}

// The position after one whole element at r.pos, a list with everything in
// it, or nothing for a cut-off element, a data length that does not fit, or
// type bits no element has (0x10 to 0x30). A count
// of the elements still owed replaces recursion, so nesting costs nothing;
// as every element takes a byte at least, a count beyond the bytes left
// fails at once. The reader comes by value so that its position stays in a
// register, where the walk from one length to the next is quickest.
inline std::optional<size_t> stepped(reader r) {
	const unsigned char *bytes = r.bytes;
	size_t pos = r.pos, len = r.len;
	uint64_t owed = 1;
	while (owed) {
		if (pos >= len)
			return std::nullopt;
		owed--;
		// A one-byte type-length field of a known type, the usual case.
		unsigned char first = bytes[pos];
		size_t n = first & SML_TL_LENGTH_MASK;
		if (!(first & SML_TL_MORE) && (0xF1 >> (first >> 4) & 1)) {
			if ((first & SML_TL_LIST) == SML_TL_LIST) {
				pos++;
				owed += n;
				if (owed > len - pos)
					return std::nullopt;
			} else {
				// n counts the type-length byte; 0 is a length of -1.
				if (n == 0 || n > len - pos)
					return std::nullopt;
				pos += n;
			}
			continue;
		}
		reader at{bytes, len, pos};
		int type = at.next_type();
		type_length t = at.tl();
		if (!t.whole)
			return std::nullopt;
		if (type == SML_TL_LIST) {
			auto count = static_cast<uint64_t>(t.length);
			if (owed + count > at.left())
				return std::nullopt;
			owed += count;
		} else if (type == SML_TL_OCTET_STRING || type == SML_TL_BOOLEAN || type == SML_TL_INTEGER ||
			   type == SML_TL_UNSIGNED) {
			auto c = at.content(t.length);
			if (!c)
				return std::nullopt;
			at.pos += c->size();
		} else {
			return std::nullopt;
		}
		pos = at.pos;
	}
	return pos;
}

// Steps r over one whole element; false (and r unmoved) where stepped fails.
ZELKOR_HOT bool step(reader &r) {
	// Most fields stepped over are absent.
	if (r.optional())
		return true;
	std::optional<size_t> after = stepped(r);
	if (after)
		r.pos = *after;
	return after.has_value();
}

// A reader over a parse buffer's bytes from its cursor.
inline reader at_cursor(const sml_buffer *buf) { return {buf->buffer, buf->buffer_len, buf->cursor}; }

// Reads one field with read at the buffer's cursor, moves the cursor to where
// the read ended and sets the error flag when it failed.
template <class Read> auto read_at(sml_buffer *buf, Read read) {
	reader r = at_cursor(buf);
	auto f = read(r);
	buf->cursor = r.pos;
	if (f.what == got::error)
		buf->error = 1;
	return f;
}

} // namespace zelkor::detail::wire
