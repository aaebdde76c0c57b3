// Transport frames around hand-written file bytes.
#pragma once

#include <vector>

#include <sml/sml_crc16.h>

namespace test {

// Start sequence, the file, zero padding to a block boundary, end block with
// the padding count, CRC high byte first.
inline std::vector<unsigned char> framed(const std::vector<unsigned char> &file) {
	std::vector<unsigned char> f = {0x1B, 0x1B, 0x1B, 0x1B, 0x01, 0x01, 0x01, 0x01};
	f.insert(f.end(), file.begin(), file.end());
	auto pad = static_cast<unsigned char>((4 - f.size() % 4) % 4);
	f.insert(f.end(), pad, 0x00);
	f.insert(f.end(), {0x1B, 0x1B, 0x1B, 0x1B, 0x1A, pad});
	u16 crc = sml_crc16_calculate(f.data(), static_cast<int>(f.size()));
	f.push_back(static_cast<unsigned char>(crc >> 8));
	f.push_back(static_cast<unsigned char>(crc & 0xFF));
	return f;
}

inline std::vector<unsigned char> joined(std::initializer_list<std::vector<unsigned char>> parts) {
	std::vector<unsigned char> all;
	for (const auto &p : parts)
		all.insert(all.end(), p.begin(), p.end());
	return all;
}

} // namespace test
