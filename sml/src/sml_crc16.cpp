// CRC-16 of messages and frames (FCS-16, RFC 1662).
#include <sml/sml_crc16.h>

#include <span>

#include "crc.hpp"

extern "C" u16 sml_crc16_calculate(unsigned char *cp, int len) {
	if (len <= 0)
		return 0;
	// Exchanged so that storing the result high byte first sends the
	// complemented FCS low byte first, as RFC 1662 does.
	return zelkor::detail::byte_swapped(zelkor::detail::crc_x25({cp, static_cast<size_t>(len)}));
}
