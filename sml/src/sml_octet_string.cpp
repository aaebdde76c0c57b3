// Octet strings and the hexadecimal helpers.
#include <sml/sml_octet_string.h>

#include <cstdlib>
#include <cstring>

#include <uuid/uuid.h>

#include "room.hpp"
#include "wire.hpp"
#include "zeroed.hpp"

extern "C" {

octet_string *sml_octet_string_init(unsigned char *str, int length) {
	auto *s = zelkor::detail::zeroed<octet_string>();
	if (!s)
		return nullptr;
	if (length > 0) {
		s->str = static_cast<unsigned char *>(std::malloc(static_cast<size_t>(length)));
		if (!s->str) {
			std::free(s);
			return nullptr;
		}
		std::memcpy(s->str, str, static_cast<size_t>(length));
		s->len = length;
	}
	return s;
}

octet_string *sml_octet_string_init_from_hex(char *str) {
	size_t n = std::strlen(str);
	if (n % 2)
		return nullptr;
	octet_string *s = sml_octet_string_init(nullptr, 0);
	if (!s || n == 0)
		return s;
	s->str = static_cast<unsigned char *>(std::malloc(n / 2));
	if (!s->str) {
		std::free(s);
		return nullptr;
	}
	s->len = static_cast<int>(n / 2);
	for (int i = 0; i < s->len; i++)
		s->str[i] = c2ptoi(str + 2 * i);
	return s;
}

octet_string *sml_octet_string_parse(sml_buffer *buf) {
	// The end-of-message byte 0x00 reads as length -1 and fails.
	auto s = zelkor::detail::wire::read_at(buf, zelkor::detail::wire::octet_string);
	if (s.what != zelkor::detail::wire::got::value)
		return nullptr;
	octet_string *str =
		sml_octet_string_init(const_cast<unsigned char *>(s.value.data()), static_cast<int>(s.value.size()));
	// Out of memory fails the parse as bad input would: by the flag.
	if (!str)
		buf->error = 1;
	return str;
}

void sml_octet_string_write(octet_string *str, sml_buffer *buf) {
	if (!str) {
		sml_buf_optional_write(buf);
		return;
	}
	sml_buf_set_type_and_length(buf, SML_TL_OCTET_STRING, static_cast<unsigned>(str->len));
	if (str->len <= 0)
		return;
	if (unsigned char *out = zelkor::detail::room(buf, static_cast<size_t>(str->len))) {
		std::memcpy(out, str->str, static_cast<size_t>(str->len));
		sml_buf_update_bytes_read(buf, str->len);
	}
}

void sml_octet_string_free(octet_string *str) {
	if (!str)
		return;
	std::free(str->str);
	std::free(str);
}

int sml_octet_string_cmp(octet_string *s1, octet_string *s2) {
	if (s1->len != s2->len)
		return -1;
	if (s1->len == 0)
		return 0;
	return std::memcmp(s1->str, s2->str, static_cast<size_t>(s1->len));
}

int sml_octet_string_cmp_with_hex(octet_string *str, char *hex) {
	// Text of odd length stands for no bytes at all: never a match. The text
	// is decoded byte by byte as it is compared, so the comparison needs no
	// memory and cannot fail for want of it.
	size_t n = std::strlen(hex);
	if (n % 2 || n / 2 != static_cast<size_t>(str->len))
		return -1;
	for (int i = 0; i < str->len; i++)
		if (int d = str->str[i] - c2ptoi(hex + 2 * i))
			return d;
	return 0;
}

octet_string *sml_octet_string_generate_uuid(void) {
	uuid_t uuid;
	uuid_generate(uuid);
	return sml_octet_string_init(uuid, sizeof(uuid));
}

uint8_t ctoi(uint8_t c) {
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	return 0;
}

uint8_t c2toi(uint8_t c1, uint8_t c2) { return static_cast<uint8_t>(ctoi(c1) * 16 + ctoi(c2)); }

uint8_t c2ptoi(char *c) {
	return c2toi(static_cast<uint8_t>(c[0]), static_cast<uint8_t>(c[1]));
}

} // extern "C"
