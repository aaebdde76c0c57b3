// Booleans: 42 FF or 42 00 on the wire.
#include <sml/sml_boolean.h>

#include <cstdlib>

#include "content.hpp"

extern "C" {

sml_boolean *sml_boolean_init(u8 b) {
	auto *boolean = static_cast<sml_boolean *>(std::malloc(sizeof(sml_boolean)));
	*boolean = b;
	return boolean;
}

sml_boolean *sml_boolean_parse(sml_buffer *buf) {
	if (sml_buf_optional_is_skipped(buf))
		return nullptr;
	if (sml_buf_get_next_type(buf) != SML_TL_BOOLEAN) {
		buf->error = 1;
		return nullptr;
	}
	auto data = zelkor::content(buf, sml_buf_get_next_length(buf));
	if (!data || data->size() != 1) {
		buf->error = 1;
		return nullptr;
	}
	sml_buf_update_bytes_read(buf, 1);
	return sml_boolean_init(data->front() ? 0xFF : 0x00);
}

void sml_boolean_write(sml_boolean *boolean, sml_buffer *buf) {
	if (!boolean) {
		sml_buf_optional_write(buf);
		return;
	}
	sml_buf_set_type_and_length(buf, SML_TL_BOOLEAN, 1);
	sml_buf_reserve(buf, 1);
	*sml_buf_get_current_buf(buf) = *boolean ? 0xFF : 0x00;
	sml_buf_update_bytes_read(buf, 1);
}

void sml_boolean_free(sml_boolean *b) { std::free(b); }

} // extern "C"
