// Integers: big-endian on the wire, host order in memory.
#include <sml/sml_number.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "room.hpp"
#include "number.hpp"
#include "wire.hpp"

extern "C" {

void *sml_number_init(u64 number, unsigned char, int size) {
	if (size < 1 || size > static_cast<int>(sizeof(number)))
		return nullptr;
	auto *np = static_cast<unsigned char *>(std::malloc(static_cast<size_t>(size)));
	if (!np)
		return nullptr;
	auto *bytes = reinterpret_cast<unsigned char *>(&number);
	// The low-order bytes stand first on a little-endian host, last on a big-endian one.
	std::memcpy(np, sml_number_endian() ? bytes + sizeof(number) - size : bytes,
		    static_cast<size_t>(size));
	return np;
}

void *sml_number_parse(sml_buffer *buf, unsigned char type, int max_size) {
	return zelkor::detail::parse_number(buf, type, max_size);
}

void sml_number_write(void *np, unsigned char type, int size, sml_buffer *buf) {
	if (!np) {
		sml_buf_optional_write(buf);
		return;
	}
	sml_buf_set_type_and_length(buf, type, static_cast<unsigned>(size));
	unsigned char *out = zelkor::detail::room(buf, static_cast<size_t>(size));
	if (!out)
		return;
	std::memcpy(out, np, static_cast<size_t>(size));
	if (sml_number_endian() != 1)
		sml_number_byte_swap(out, size);
	sml_buf_update_bytes_read(buf, size);
}

void sml_number_free(void *np) { std::free(np); }

void sml_number_byte_swap(unsigned char *bytes, int bytes_len) {
	for (int i = 0, j = bytes_len - 1; i < j; i++, j--) {
		unsigned char t = bytes[i];
		bytes[i] = bytes[j];
		bytes[j] = t;
	}
}

int sml_number_endian(void) { return std::endian::native == std::endian::big ? 1 : 0; }

} // extern "C"
