// CRC-16 of messages and frames (FCS-16, RFC 1662).
#include <sml/sml_crc16.h>

#include <array>
#include <cstdint>
#include <span>

namespace {

// Entry i is the CRC of the single byte i under the reflected polynomial
// 0x8408, initial value 0 and no complement.
constexpr std::array<uint16_t, 256> fcstab = [] {
	std::array<uint16_t, 256> t{};
	for (unsigned i = 0; i < 256; i++) {
		unsigned v = i;
		for (int bit = 0; bit < 8; bit++)
			v = (v & 1) ? (v >> 1) ^ 0x8408 : v >> 1;
		t[i] = static_cast<uint16_t>(v);
	}
	return t;
}();

static_assert(fcstab[1] == 0x1189 && fcstab[255] == 0x0F78);

} // namespace

extern "C" u16 sml_crc16_calculate(unsigned char *cp, int len) {
	if (len <= 0)
		return 0;
	unsigned fcs = 0xFFFF;
	for (unsigned char c : std::span(cp, static_cast<size_t>(len)))
		fcs = (fcs >> 8) ^ fcstab[(fcs ^ c) & 0xFF];
	fcs ^= 0xFFFF;
	// Exchanged so that storing the result high byte first sends the
	// complemented FCS low byte first, as RFC 1662 does.
	return static_cast<u16>(((fcs & 0xFF) << 8) | (fcs >> 8));
}
