// sml_readings allocates nothing: this program replaces the heap functions
// with counting ones (forwarding to glibc's own) and walks hand-written files
// and every corpus frame with the callback, with the cursor and as the C++
// range, formatting each number exactly on the way. For scale it also counts
// what the tree API takes for the same files.
//
// Built only without the sanitizers, whose runtimes own the heap functions.
#include <sml/sml_file.h>
#include <sml/sml_reading.h>
#include <zelkor/zelkor.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" {
void *__libc_malloc(size_t n);
void *__libc_calloc(size_t n, size_t size);
void *__libc_realloc(void *p, size_t n);
void __libc_free(void *p);
}

namespace {

bool counting = false;
long allocations = 0;

} // namespace

extern "C" {
void *malloc(size_t n) {
	allocations += counting;
	return __libc_malloc(n);
}
void *calloc(size_t n, size_t size) {
	allocations += counting;
	return __libc_calloc(n, size);
}
void *realloc(void *p, size_t n) {
	allocations += counting;
	return __libc_realloc(p, n);
}
void free(void *p) { __libc_free(p); }
}

namespace {

std::vector<unsigned char> bytes(const char *hex) {
	std::vector<unsigned char> out;
	for (const char *p = hex; p[0] && p[1];) {
		if (*p == ' ') {
			p++;
			continue;
		}
		out.push_back(static_cast<unsigned char>(std::stoi(std::string(p, 2), nullptr, 16)));
		p += 2;
	}
	return out;
}

// Hand-written files: every kind of value and time, unreadable entries, a
// profile pack, and a file cut short.
const char *const files[] = {
	"76 01 62 00 62 00 72 63 07 01 77 01 03 01 02 01 72 62 01 65 00 00 00 0A 76"
	" 77 07 01 00 01 08 00 FF 64 00 01 04 72 62 01 65 00 00 0E 10 62 1E 52 FF 63 03 DB 01"
	" 77 07 01 00 10 07 00 FF 01 65 00 00 0E 10 62 1B 52 00 55 FF FF FE D4 01"
	" 77 07 81 81 C7 82 03 FF 01 01 01 01 04 45 4D 48 01"
	" 77 07 01 00 60 05 00 FF 01 01 01 01 42 01 03 AB CD"
	" 77 05 01 02 03 04 01 72 62 03 73 65 00 00 0E 10 53 00 3C 53 00 00 01 01 72 62 01 72 62 02 65 00 00 00 05 01"
	" 77 07 01 00 00 00 09 FF 01 01 01 01 72 62 03 72 62 1B 52 FF 01"
	" 01 01 01 00",
	"76 01 62 00 62 00 72 63 07 01 77 01 01 01 01 73"
	" 77 07 01 00 01 08 00 FF 01 01 62 1E 52 FF 72 62 05 62 01 01"
	" 76 07 01 00 01 08 00 FF 01 01 62 1E 52 FF 63 03 DB"
	" 77 07 01 00 01 08 00 FF 01 01 62 1E 52 FF 63 03 DB 01"
	" 01 01 01 00",
	"76 01 62 00 62 00 72 63 03 01 78 01 01 01 01 71 73 07 01 00 01 08 00 FF 62 1E 52 FF 71 74 72 62 01"
	" 65 00 00 00 01 62 05 72 72 62 07 01 72 62 08 01 01 01 01 01 00",
	"76 01 62 00 62 00 72 63 07 01 77 01 01 01 01 72 77 07 01 00 01 08",
};

struct tally {
	int readings = 0;
	int unreadable = 0;
};

int count(const sml_reading *r, void *ctx) {
	auto *t = static_cast<tally *>(ctx);
	t->readings++;
	t->unreadable += r->reason != SML_READING_OK;
	return 0;
}

int failures = 0;

void check(const std::string &name, const std::vector<unsigned char> &file) {
	tally t;
	allocations = 0;
	counting = true;
	int n = sml_readings(file.data(), file.size(), count, &t);
	sml_reading_cursor cursor;
	sml_reading_cursor_init(&cursor, file.data(), file.size());
	sml_reading r;
	int pulled = 0;
	while (sml_reading_next(&cursor, &r) == 1)
		pulled++;
	int ranged = 0;
	size_t text = 0;
	for (const zelkor::reading &each : zelkor::readings(std::span<const unsigned char>(file))) {
		ranged++;
		char chars[zelkor::decimal::max_chars];
		if (auto n = each.number())
			text += static_cast<size_t>(n->to_chars(chars, chars + sizeof chars).ptr - chars);
	}
	counting = false;
	long walked = allocations;

	allocations = 0;
	counting = true;
	sml_file_free(sml_file_parse(const_cast<unsigned char *>(file.data()), file.size()));
	counting = false;

	std::printf("%-28s %3d readings (%d unreadable): %ld allocations; tree parse and free: %ld\n", name.c_str(), n,
		    t.unreadable, walked, allocations);
	if (walked != 0 || pulled != n || ranged != n) {
		std::printf("  FAILED: %ld allocations, %d readings pulled, %d in the range (%zu characters)\n", walked,
			    pulled, ranged, text);
		failures++;
	}
}

} // namespace

int main() {
	// The tree's diagnostics may allocate stdio buffers; they are not wanted here.
	sml_set_diagnostic_handler([](const char *, void *) {}, nullptr);
	int i = 0;
	for (const char *hex : files)
		check("hand-written " + std::to_string(++i), bytes(hex));
	std::filesystem::path dir = ZELKOR_CORPUS_DIR;
	if (std::filesystem::is_directory(dir))
		for (const auto &e : std::filesystem::directory_iterator(dir)) {
			if (e.path().extension() != ".bin")
				continue;
			std::ifstream in(e.path(), std::ios::binary);
			std::vector<unsigned char> frame{std::istreambuf_iterator<char>(in), {}};
			if (frame.size() >= 16)
				check(e.path().filename().string(), {frame.begin() + 8, frame.end() - 8});
		}
	std::puts(failures ? "readings allocations FAILED" : "readings allocations: none");
	return failures ? 1 : 0;
}
