// Files made malformed at random, the same ones on every run: a few bytes
// replaced, bits flipped, the file cut short or a byte put in.
#pragma once

#include <cstdint>
#include <vector>

namespace test {

inline uint32_t next(uint32_t &s) {
	s ^= s << 13;
	s ^= s >> 17;
	s ^= s << 5;
	return s;
}

// A copy of seed with one to four edits, chosen by state.
inline std::vector<unsigned char> mutated(const std::vector<unsigned char> &seed, uint32_t &state) {
	std::vector<unsigned char> m = seed;
	int edits = 1 + static_cast<int>(next(state) % 4);
	for (int e = 0; e < edits && !m.empty(); e++) {
		size_t at = next(state) % m.size();
		switch (next(state) % 4) {
		case 0: m[at] = static_cast<unsigned char>(next(state)); break;
		case 1: m[at] ^= static_cast<unsigned char>(1u << (next(state) % 8)); break;
		case 2: m.resize(at); break;
		default: m.insert(m.begin() + static_cast<long>(at), static_cast<unsigned char>(next(state))); break;
		}
	}
	return m;
}

} // namespace test
