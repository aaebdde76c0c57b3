// Booleans: 42 FF or 42 00 on the wire.
#include <sml/sml_boolean.h>

#include <cstdlib>

#include "room.hpp"
#include "wire.hpp"

extern "C" {

sml_boolean *sml_boolean_init(u8 b) {
	auto *boolean = static_cast<sml_boolean *>(std::malloc(sizeof(sml_boolean)));
	if (boolean)
		*boolean = b;
	return boolean;
}

sml_boolean *sml_boolean_parse(sml_buffer *buf) {
	auto b = zelkor::detail::wire::read_at(buf, zelkor::detail::wire::boolean);
	if (b.what != zelkor::detail::wire::got::value)
		return nullptr;
	sml_boolean *boolean = sml_boolean_init(b.value ? 0xFF : 0x00);
	// Out of memory fails the parse as bad input would: by the flag.
	if (!boolean)
		buf->error = 1;
	return boolean;
}

void sml_boolean_write(sml_boolean *boolean, sml_buffer *buf) {
	if (!boolean) {
		sml_buf_optional_write(buf);
		return;
	}
	sml_buf_set_type_and_length(buf, SML_TL_BOOLEAN, 1);
	if (unsigned char *out = zelkor::detail::room(buf, 1)) {
		*out = *boolean ? 0xFF : 0x00;
		sml_buf_update_bytes_read(buf, 1);
	}
}

void sml_boolean_free(sml_boolean *b) { std::free(b); }

} // extern "C"
