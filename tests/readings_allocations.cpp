// sml_readings allocates nothing: this program replaces the heap functions
// with counting ones (forwarding to glibc's own) and walks hand-written files
// and every corpus frame with the callback, with the cursor and as the C++
// range, formatting each number exactly on the way. For scale it also counts
// what the tree API takes for the same files. The stream decoder and the
// transport's reading calls allocate nothing either, nor does reading a
// capture in one call: they read a stream of frames, escaped and damaged ones
// among them, and the corpus's meter stream.
//
// Built only without the sanitizers, whose runtimes own the heap functions.
#include <sml/sml_capture.h>
#include <sml/sml_file.h>
#include <sml/sml_reading.h>
#include <sml/sml_stream.h>
#include <sml/sml_transport.h>
#include <zelkor/zelkor.hpp>

#include <cerrno>
#include <cstdio>
#include <unistd.h>
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
	sml_file_free(sml_file_parse(file.data(), file.size()));
	counting = false;

	std::printf("%-28s %3d readings (%d unreadable): %ld allocations; tree parse and free: %ld\n", name.c_str(), n,
		    t.unreadable, walked, allocations);
	if (walked != 0 || pulled != n || ranged != n) {
		std::printf("  FAILED: %ld allocations, %d readings pulled, %d in the range (%zu characters)\n", walked,
			    pulled, ranged, text);
		failures++;
	}
}

// The bytes through the decoder in chunks of 61 bytes, then through
// sml_transport_read and sml_transport_listen_ctx from a file.
void check_stream(const std::string &name, const std::vector<unsigned char> &wire) {
	static unsigned char area[16384];
	static unsigned char frame[16384];
	char path[] = "/tmp/zelkor-stream-XXXXXX";
	int fd = mkstemp(path);
	if (fd < 0 || write(fd, wire.data(), wire.size()) != static_cast<ssize_t>(wire.size())) {
		std::printf("%s: FAILED to write a scratch file\n", name.c_str());
		failures++;
		return;
	}
	unlink(path);
	size_t frames = 0, read_frames = 0, heard = 0;
	allocations = 0;
	counting = true;
	sml_stream s;
	sml_stream_init(
		&s, area, sizeof area, [](const sml_stream_frame *, void *ctx) {
			++*static_cast<size_t *>(ctx);
			return 0;
		},
		nullptr, &frames);
	for (size_t at = 0; at < wire.size(); at += 61)
		sml_stream_feed(&s, wire.data() + at, std::min<size_t>(61, wire.size() - at));
	sml_stream_finish(&s);
	lseek(fd, 0, SEEK_SET);
	for (;;) {
		if (sml_transport_read(fd, frame, sizeof frame))
			read_frames++;
		else if (errno != EBADMSG)
			break;
	}
	lseek(fd, 0, SEEK_SET);
	sml_transport_listen_ctx(
		fd, [](unsigned char *, size_t, void *ctx) { ++*static_cast<size_t *>(ctx); }, &heard);
	int captured = sml_capture_readings(
		wire.data(), wire.size(), area, sizeof area,
		[](const sml_reading *, const sml_stream_frame *, void *) { return 0; }, nullptr, nullptr);
	int captured_cxx = zelkor::for_each_capture_reading(std::span<const unsigned char>(wire), area,
							    [](const zelkor::reading &) {});
	counting = false;
	close(fd);
	std::printf("%-28s %zu frames decoded, %zu read, %zu heard, %d readings captured: %ld allocations\n",
		    name.c_str(), frames, read_frames, heard, captured, allocations);
	if (allocations != 0 || frames == 0 || read_frames == 0 || heard == 0 || captured <= 0 ||
	    captured_cxx != captured) {
		std::puts("  FAILED");
		failures++;
	}
}

// The hand-written files as the library writes them back in frames, each
// followed by noise and by a copy with a flipped byte.
std::vector<unsigned char> written_stream() {
	std::vector<unsigned char> wire;
	for (const char *hex : files) {
		auto file_bytes = bytes(hex);
		sml_file *file = sml_file_parse(file_bytes.data(), file_bytes.size());
		size_t len = sml_transport_build(file);
		std::vector<unsigned char> frame(file->buf->buffer, file->buf->buffer + len);
		sml_file_free(file);
		wire.insert(wire.end(), frame.begin(), frame.end());
		wire.insert(wire.end(), {0x1B, 0x1B, 0x00, 0x42});
		frame[frame.size() / 2] ^= 0x10;
		wire.insert(wire.end(), frame.begin(), frame.end());
	}
	return wire;
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
	check_stream("written frames", written_stream());
	std::filesystem::path stream = dir / "streams" / "dnt-stream-1.dump";
	if (std::filesystem::is_regular_file(stream)) {
		std::ifstream in(stream, std::ios::binary);
		check_stream("dnt-stream-1.dump", {std::istreambuf_iterator<char>(in), {}});
	}
	std::puts(failures ? "readings allocations FAILED" : "readings allocations: none");
	return failures ? 1 : 0;
}
