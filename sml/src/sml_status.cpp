// Status words: an unsigned integer of the sender's width.
#include <sml/sml_status.h>

#include <cstdlib>

#include "buffer.hpp"
#include "number.hpp"
#include "width.hpp"
#include "zeroed.hpp"

extern "C" {

sml_status *sml_status_init(void) {
	auto *status = zelkor::detail::zeroed<sml_status>();
	if (status)
		status->type = SML_TL_UNSIGNED;
	return status;
}

sml_status *sml_status_parse(sml_buffer *buf) {
	if (zelkor::detail::buf::optional_skipped(buf))
		return nullptr;
	auto type = static_cast<unsigned char>(zelkor::detail::buf::next_type(buf));
	sml_status *status = sml_status_init();
	// Out of memory fails the parse as bad input would: by the flag.
	if (!status) {
		buf->error = 1;
		return nullptr;
	}
	status->type = type;
	int w = zelkor::detail::integer_width(zelkor::detail::wire::at_cursor(buf));
	if (type == SML_TL_UNSIGNED && w) {
		status->data.status8 = static_cast<u8 *>(zelkor::detail::parse_number(buf, SML_TL_UNSIGNED, w));
		status->type = static_cast<u8>(SML_TL_UNSIGNED | w);
	} else {
		buf->error = 1;
	}
	if (zelkor::detail::buf::failed(buf)) {
		sml_status_free(status);
		return nullptr;
	}
	return status;
}

void sml_status_write(sml_status *status, sml_buffer *buf) {
	if (!status) {
		sml_buf_optional_write(buf);
		return;
	}
	// A NULL data block writes the optional marker.
	sml_number_write(status->data.status8, status->type & SML_TL_LIST, status->type & SML_TL_LENGTH_MASK, buf);
}

void sml_status_free(sml_status *status) {
	if (!status)
		return;
	sml_number_free(status->data.status8);
	std::free(status);
}

} // extern "C"
