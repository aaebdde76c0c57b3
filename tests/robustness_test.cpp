// Malformed input never crashes, leaks or reads outside the bytes: mutated
// files are parsed, written back and released (the sanitizer builds check
// every access).
#include <sml/sml_file.h>
#include <sml/sml_get_list_response.h>
#include <sml/sml_open_response.h>
#include <sml/sml_close_response.h>

#include <cstdint>
#include <filesystem>

#include "mutation.hpp"
#include "sml_test.hpp"

namespace {

// Open response, GetList response (entries with every kind of field: status
// widths, both time forms, 8-byte and 3-byte integers, text, boolean,
// signature) and close response.
constexpr const char *getlist_file =
	"76 05 01 02 03 04 62 00 62 00 72 63 01 01 76 01 01 07 01 02 03 04 05 06 0B 0A 01 44 5A 47 00 02 82 C0 B0"
	" 72 62 01 65 05 47 1C 2A 62 02 63 F9 38 00"
	" 76 05 01 02 03 05 62 00 62 00 72 63 07 01 77 01 0B 0A 01 44 5A 47 00 02 82 C0 B0 07 01 00 62 0A FF FF"
	" 72 62 01 65 05 47 1C 2A 74"
	" 77 07 01 00 01 08 00 FF 64 1C 01 04 72 62 01 65 00 00 0E 10 62 1E 52 FF 59 00 00 00 00 00 00 1F 40 01"
	" 77 07 01 00 10 07 00 FF 01 65 00 00 0E 10 62 1B 52 00 55 FF FF FE D4 01"
	" 77 07 81 81 C7 82 03 FF 01 01 01 01 07 45 4D 48 00 01 02 03 AB CD"
	" 77 07 01 00 60 05 00 FF 01 01 01 01 42 01 01"
	" 01 01 63 12 34 00"
	" 76 05 01 02 03 06 62 00 62 00 72 63 02 01 71 01 63 AB CD 00 00 00";

void parse_write_free(const std::vector<unsigned char> &bytes) {
	sml_file *f = sml_file_parse(bytes.data(), bytes.size());
	ASSERT_NE(f, nullptr);
	ASSERT_LE(f->buf->cursor, f->buf->buffer_len);
	sml_file_write(f);
	sml_file_free(f);
}

void mutate_and_parse(const std::vector<unsigned char> &seed, int rounds, uint32_t state) {
	for (int i = 0; i < rounds; i++)
		parse_write_free(test::mutated(seed, state));
}

TEST(Robustness, IntactSeedParsesWhole) {
	auto bytes = test::bytes(getlist_file);
	testing::internal::CaptureStderr();
	sml_file *f = sml_file_parse(bytes.data(), bytes.size());
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
	EXPECT_EQ(f->messages_len, 3);
	EXPECT_FALSE(f->buf->error);
	sml_file_free(f);
}

TEST(Robustness, MutatedFilesNeverCrashOrLeak) {
	testing::internal::CaptureStderr();
	mutate_and_parse(test::bytes(getlist_file), 20000, 0x2545F491);
	testing::internal::GetCapturedStderr();
}

// The seed of a capture's mutations comes from its name, not from the order
// the directory lists it in: a failure found on one machine is the same
// failure on every other.
uint32_t seed_of(const std::string &name) {
	uint32_t h = 2166136261u;
	for (unsigned char c : name)
		h = (h ^ c) * 16777619u;
	return h ? h : 1;
}

TEST(Robustness, MutatedCapturesNeverCrashOrLeak) {
	SKIP_WITHOUT_CORPUS();
	for (const auto &entry : std::filesystem::directory_iterator(test::corpus_dir())) {
		if (entry.path().extension() != ".bin")
			continue;
		const std::string name = entry.path().filename().string();
		auto frame = test::read_file(entry.path().string());
		if (frame.size() < 16)
			continue;
		SCOPED_TRACE(name + ", seed " + std::to_string(seed_of(name)));
		// The file between start sequence and end block, as the transport hands it on.
		std::vector<unsigned char> inner(frame.begin() + 8, frame.end() - 8);
		testing::internal::CaptureStderr();
		mutate_and_parse(inner, 1000, seed_of(name));
		testing::internal::GetCapturedStderr();
	}
}

TEST(Robustness, RandomBytesNeverCrash) {
	uint32_t state = 12345;
	testing::internal::CaptureStderr();
	for (int i = 0; i < 5000; i++) {
		std::vector<unsigned char> m(test::next(state) % 64);
		for (auto &b : m)
			b = static_cast<unsigned char>(test::next(state) % 3 == 0 ? 0x70 | (test::next(state) & 0x8F) : test::next(state));
		parse_write_free(m);
	}
	testing::internal::GetCapturedStderr();
}

} // namespace
