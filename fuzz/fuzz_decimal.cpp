// libFuzzer target for zelkor::decimal (zelkor.hpp). The input is
//   magnitude (8 bytes, little-endian), flags (1: bit 0 negative, bit 1 the
//   second number is the first rescaled), scaler (4 bytes, any int), the
//   room given to to_chars (1 byte), then the second number: a rescaling
//   step (1 byte) or a magnitude, flags and scaler of its own (13 bytes);
// missing bytes count as zero. For every number:
// - to_chars and to_string write what a plain formatting here writes, and
//   text_size counts it; to_chars with too little room says value_too_large;
// - to_double is what strtod makes of the text, bit for bit;
// - == agrees with comparing normal forms (sign, magnitude without trailing
//   zeros, scaler counted in 64 bits).
#include <zelkor/zelkor.hpp>

#include <bit>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void check(bool ok) {
	if (!ok)
		std::abort();
}

// Texts longer than this are checked by their size and their ends only.
constexpr int64_t whole_text = 4096;

struct input {
	const uint8_t *data;
	size_t size;
	size_t at = 0;
	uint64_t take(size_t n) {
		uint64_t v = 0;
		for (size_t i = 0; i < n; i++, at++)
			v |= static_cast<uint64_t>(at < size ? data[at] : 0) << (8 * i);
		return v;
	}
};

struct number {
	uint64_t magnitude;
	bool negative;
	int scaler;
	zelkor::decimal d;
};

// A negative number's magnitude is at most 2^63, the most an int64_t holds.
number make(uint64_t magnitude, bool negative, int scaler) {
	if (!negative)
		return {magnitude, false, scaler, zelkor::decimal(magnitude, scaler)};
	magnitude %= (uint64_t{1} << 63) + 1;
	int64_t value = magnitude == uint64_t{1} << 63 ? INT64_MIN : -static_cast<int64_t>(magnitude);
	return {magnitude, magnitude != 0, scaler, zelkor::decimal(value, scaler)};
}

int64_t expected_size(const number &n) {
	int64_t digits = static_cast<int64_t>(std::to_string(n.magnitude).size());
	int64_t s = n.scaler;
	int64_t size = n.negative ? 1 : 0;
	if (s >= 0)
		return size + digits + (n.magnitude ? s : 0);
	return size + (digits > -s ? digits + s : 1) + 1 + -s;
}

std::string expected_text(const number &n) {
	std::string digits = std::to_string(n.magnitude);
	std::string text = n.negative ? "-" : "";
	if (n.scaler >= 0)
		return text + digits + (n.magnitude ? std::string(static_cast<size_t>(n.scaler), '0') : "");
	auto decimals = static_cast<size_t>(-static_cast<int64_t>(n.scaler));
	if (digits.size() <= decimals)
		digits.insert(0, decimals + 1 - digits.size(), '0');
	return text + digits.substr(0, digits.size() - decimals) + "." + digits.substr(digits.size() - decimals);
}

void check_text(const number &n, size_t room) {
	const zelkor::decimal &d = n.d;
	check(d.negative() == n.negative && d.magnitude() == n.magnitude && d.scaler() == n.scaler);
	int64_t size = expected_size(n);
	check(static_cast<int64_t>(d.text_size()) == size);

	// The same value written as digits and exponent: what to_double rounds.
	std::string short_text = (n.negative ? "-" : "") + std::to_string(n.magnitude) + "e" + std::to_string(n.scaler);
	double nearest = std::strtod(short_text.c_str(), nullptr);

	std::vector<char> buf(room);
	auto r = d.to_chars(buf.data(), buf.data() + buf.size());
	if (static_cast<int64_t>(room) < size) {
		check(r.ec == std::errc::value_too_large && r.ptr == buf.data() + buf.size());
	} else {
		check(r.ec == std::errc{});
		check(std::string(buf.data(), r.ptr) == expected_text(n));
	}

	if (size <= whole_text) {
		std::string text = d.to_string();
		check(text == expected_text(n));
		nearest = std::strtod(text.c_str(), nullptr);
	}
	check(std::bit_cast<uint64_t>(d.to_double()) == std::bit_cast<uint64_t>(nearest));
}

struct normal {
	bool negative;
	uint64_t magnitude;
	int64_t scaler;
};

normal normal_of(const number &n) {
	normal f{n.negative, n.magnitude, n.scaler};
	while (f.magnitude != 0 && f.magnitude % 10 == 0) {
		f.magnitude /= 10;
		f.scaler++;
	}
	return f;
}

bool same_value(const number &a, const number &b) {
	normal x = normal_of(a), y = normal_of(b);
	if (x.magnitude == 0 || y.magnitude == 0)
		return x.magnitude == y.magnitude;
	return x.negative == y.negative && x.magnitude == y.magnitude && x.scaler == y.scaler;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
	input in{data, size};
	uint64_t magnitude = in.take(8);
	auto flags = static_cast<unsigned>(in.take(1));
	auto scaler = static_cast<int>(static_cast<uint32_t>(in.take(4)));
	auto room = static_cast<size_t>(in.take(1));
	number a = make(magnitude, flags & 1, scaler);

	number b = a;
	if (flags & 2) {
		// The same value with trailing zeros moved between magnitude and
		// scaler, where neither overflows; the sign flipped on bit 7.
		auto step = static_cast<unsigned>(in.take(1));
		int shift = static_cast<int>(step % 39) - 19;
		uint64_t m = a.magnitude;
		int64_t s = a.scaler;
		for (; shift > 0 && m <= UINT64_MAX / 10 && s > INT_MIN; shift--, s--)
			m *= 10;
		for (; shift < 0 && m % 10 == 0 && m != 0 && s < INT_MAX; shift++, s++)
			m /= 10;
		b = make(m, (flags & 1) != ((step & 0x80) != 0), static_cast<int>(s));
	} else {
		uint64_t m = in.take(8);
		auto f = static_cast<unsigned>(in.take(1));
		b = make(m, f & 1, static_cast<int>(static_cast<uint32_t>(in.take(4))));
	}

	check_text(a, room);
	check_text(b, zelkor::decimal::max_chars);
	check((a.d == b.d) == same_value(a, b));
	check((b.d == a.d) == (a.d == b.d));
	check(a.d == a.d);
	return 0;
}
