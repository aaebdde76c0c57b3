// Test support: bytes as hex text in, records out; records written, bytes compared whole.
#pragma once

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include <sml/sml_octet_string.h>
#include <sml/sml_shared.h>

namespace test {

// Bytes of two hex digits each, with or without white space between them.
// Anything else (a stray character, a byte split by a blank, an odd digit at
// the end) is a typo in the test: it throws, which fails the test that met it
// (or ends a program of its own) and names the text.
inline std::vector<unsigned char> bytes(std::string_view hex) {
	std::vector<unsigned char> out;
	int hi = -1;
	auto typo = [hex](const char *what, size_t at) {
		return std::invalid_argument("test::bytes: " + std::string(what) + " at " + std::to_string(at) + " of \"" +
					     std::string(hex) + "\"");
	};
	for (size_t i = 0; i < hex.size(); i++) {
		char c = hex[i];
		if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
			if (hi >= 0)
				throw typo("a byte split by white space", i);
			continue;
		}
		int v = (c >= '0' && c <= '9') ? c - '0'
			: (c >= 'a' && c <= 'f') ? c - 'a' + 10
			: (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
		if (v < 0)
			throw typo("no hex digit", i);
		if (hi < 0) {
			hi = v;
		} else {
			out.push_back(static_cast<unsigned char>(hi * 16 + v));
			hi = -1;
		}
	}
	if (hi >= 0)
		throw typo("an odd hex digit", hex.size() - 1);
	return out;
}

// A new octet string holding the bytes of the hex text.
inline octet_string *octets(std::string_view h) {
	auto b = bytes(h);
	return sml_octet_string_init(b.data(), static_cast<int>(b.size()));
}

inline std::string hex(const unsigned char *p, size_t n) {
	std::string s;
	char tmp[4];
	for (size_t i = 0; i < n; i++) {
		std::snprintf(tmp, sizeof tmp, i ? " %02X" : "%02X", p[i]);
		s += tmp;
	}
	return s;
}

// Normalises hex text to "AA BB CC" for whole-string comparison.
inline std::string canon(std::string_view h) {
	auto b = bytes(h);
	return hex(b.data(), b.size());
}

struct buffer_deleter {
	void operator()(sml_buffer *b) const { sml_buffer_free(b); }
};
using buffer = std::unique_ptr<sml_buffer, buffer_deleter>;

// A parse buffer holding exactly the given bytes.
inline buffer parse_buf(std::string_view h) {
	auto b = bytes(h);
	buffer buf{sml_buffer_init(b.size())};
	if (!b.empty())
		std::memcpy(buf->buffer, b.data(), b.size());
	return buf;
}

// The bytes a writer appends to an empty buffer (which it has to grow).
template <class F> std::string written(F &&write) {
	buffer buf{sml_buffer_init(0)};
	write(buf.get());
	return hex(buf->buffer, buf->cursor);
}

template <class T, class Free> auto owned(T *p, Free f) {
	return std::unique_ptr<T, Free>(p, f);
}

inline std::string corpus_dir() { return ZELKOR_CORPUS_DIR; }

inline bool have_corpus() { return std::filesystem::is_directory(corpus_dir()); }

inline std::vector<unsigned char> read_file(const std::string &path) {
	std::ifstream in(path, std::ios::binary);
	return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace test

#define SKIP_WITHOUT_CORPUS()                                                                      \
	do {                                                                                       \
		if (!test::have_corpus())                                                          \
			GTEST_SKIP() << "no corpus at " << test::corpus_dir();                     \
	} while (0)
