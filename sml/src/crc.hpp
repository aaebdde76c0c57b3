// FCS-16 (RFC 1662): the reflected CRC-16/CCITT under which SML checks
// messages and frames. X.25 starts from 0xFFFF and complements the result;
// KERMIT, which one meter family sends, starts from 0 and does not.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace zelkor::detail {

// Slicing by four: table k gives the CRC of a byte followed by k zero bytes,
// so four bytes fold in with four independent lookups.
inline constexpr auto fcs_tables = [] {
	std::array<std::array<uint16_t, 256>, 4> t{};
	for (unsigned i = 0; i < 256; i++) {
		unsigned v = i;
		for (int bit = 0; bit < 8; bit++)
			v = (v & 1) ? (v >> 1) ^ 0x8408 : v >> 1;
		t[0][i] = static_cast<uint16_t>(v);
	}
	for (unsigned k = 1; k < 4; k++)
		for (unsigned i = 0; i < 256; i++)
			t[k][i] = static_cast<uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
	return t;
}();

static_assert(fcs_tables[0][1] == 0x1189 && fcs_tables[0][255] == 0x0F78);

// The register after the bytes, from the given initial value.
constexpr uint16_t fcs16(std::span<const unsigned char> bytes, uint16_t fcs) {
	const auto &t = fcs_tables;
	size_t i = 0;
	for (; i + 4 <= bytes.size(); i += 4) {
		unsigned a = (fcs ^ bytes[i]) & 0xFF;
		unsigned b = ((fcs >> 8) ^ bytes[i + 1]) & 0xFF;
		fcs = static_cast<uint16_t>(t[3][a] ^ t[2][b] ^ t[1][bytes[i + 2]] ^ t[0][bytes[i + 3]]);
	}
	for (; i < bytes.size(); i++)
		fcs = static_cast<uint16_t>((fcs >> 8) ^ t[0][(fcs ^ bytes[i]) & 0xFF]);
	return fcs;
}

// CRC-16/X-25 as a number (check value 0x906E over "123456789").
constexpr uint16_t crc_x25(std::span<const unsigned char> bytes) {
	return static_cast<uint16_t>(fcs16(bytes, 0xFFFF) ^ 0xFFFF);
}

// CRC-16/KERMIT as a number (check value 0x2189 over "123456789").
constexpr uint16_t crc_kermit(std::span<const unsigned char> bytes) { return fcs16(bytes, 0); }

constexpr uint16_t byte_swapped(uint16_t v) { return static_cast<uint16_t>((v << 8) | (v >> 8)); }

inline constexpr unsigned char check_input[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
static_assert(crc_x25(check_input) == 0x906E && crc_kermit(check_input) == 0x2189);

} // namespace zelkor::detail
