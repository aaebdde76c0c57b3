// Transport frames around hand-written file bytes.
#pragma once

#include <random>
#include <string>
#include <vector>

#include <sml/sml_crc16.h>

namespace test {

// The frame's CRC appended, high byte of sml_crc16_calculate first.
inline std::vector<unsigned char> with_crc(std::vector<unsigned char> f) {
	u16 crc = sml_crc16_calculate(f.data(), static_cast<int>(f.size()));
	f.push_back(static_cast<unsigned char>(crc >> 8));
	f.push_back(static_cast<unsigned char>(crc & 0xFF));
	return f;
}

// Start sequence, the file with an escape inserted after every fourth 1B of
// a run, zero padding to a block boundary, end block with the padding count,
// CRC high byte first.
inline std::vector<unsigned char> framed(const std::vector<unsigned char> &file) {
	std::vector<unsigned char> f = {0x1B, 0x1B, 0x1B, 0x1B, 0x01, 0x01, 0x01, 0x01};
	int run = 0;
	for (unsigned char c : file) {
		f.push_back(c);
		run = c == 0x1B ? run + 1 : 0;
		if (run && run % 4 == 0)
			f.insert(f.end(), 4, 0x1B);
	}
	auto pad = static_cast<unsigned char>((4 - f.size() % 4) % 4);
	f.insert(f.end(), pad, 0x00);
	f.insert(f.end(), {0x1B, 0x1B, 0x1B, 0x1B, 0x1A, pad});
	return with_crc(f);
}

inline std::vector<unsigned char> joined(std::initializer_list<std::vector<unsigned char>> parts) {
	std::vector<unsigned char> all;
	for (const auto &p : parts)
		all.insert(all.end(), p.begin(), p.end());
	return all;
}

// What a noisy line does to one byte of a stream.
enum class fault { removed, inserted, flipped };

// The stream with one fault at a random place; returns where, for traces.
inline std::string with_fault(std::vector<unsigned char> &in, fault kind, std::mt19937 &rng) {
	size_t at = rng() % in.size();
	auto where = in.begin() + static_cast<std::ptrdiff_t>(at);
	if (kind == fault::removed)
		in.erase(where);
	else if (kind == fault::inserted)
		in.insert(where, static_cast<unsigned char>(rng()));
	else
		in[at] ^= static_cast<unsigned char>(1u << (rng() % 8));
	return "fault " + std::to_string(static_cast<int>(kind)) + " at " + std::to_string(at);
}

} // namespace test
