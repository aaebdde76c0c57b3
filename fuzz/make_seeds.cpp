// Writes the committed seed inputs of the fuzz targets, all made by the
// library's own writer from the tests' fixtures:
//   make_seeds <folder>     (fills <folder>/<target>/)
// fuzz_file gets whole files, fuzz_stream frames with noise and damage
// around them, fuzz_records every element of those files that some record
// parser takes, prefixed with that parser's number.
#include <sml/sml_transport.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "../tests/bodies.hpp"
#include "records.hpp"

namespace fs = std::filesystem;
using bytes = std::vector<unsigned char>;

namespace {

struct seeds {
	fs::path dir;
	std::set<bytes> seen;
	int n = 0;
	void add(const bytes &b) {
		if (!seen.insert(b).second)
			return;
		std::ofstream(dir / ("seed-" + std::to_string(n++)), std::ios::binary)
			.write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
	}
};

bytes file_bytes(sml_file *file) {
	sml_buffer *own = file->buf;
	file->buf = sml_buffer_init(0);
	sml_file_write(file);
	bytes out(file->buf->buffer, file->buf->buffer + file->buf->cursor);
	sml_buffer_free(file->buf);
	file->buf = own;
	return out;
}

bytes frame_bytes(sml_file *file) {
	size_t len = sml_transport_build(file);
	return {file->buf->buffer, file->buf->buffer + len};
}

// Every element of the bytes, lists and their items alike, as [begin, end).
void elements(const bytes &b, size_t &at, int depth, std::vector<std::pair<size_t, size_t>> &out) {
	if (depth > 32 || at >= b.size())
		return;
	sml_buffer buf{const_cast<unsigned char *>(b.data()), b.size(), at, 0, nullptr};
	size_t begin = at;
	if (b[at] == 0x00) {
		at++;
		return;
	}
	int type = sml_buf_get_next_type(&buf);
	int len = sml_buf_get_next_length(&buf);
	if (len < 0) {
		at = b.size();
		return;
	}
	at = buf.cursor;
	if (type == SML_TL_LIST) {
		for (int i = 0; i < len && at < b.size(); i++)
			elements(b, at, depth + 1, out);
	} else {
		at = std::min(b.size(), at + static_cast<size_t>(len));
	}
	out.emplace_back(begin, at);
}

} // namespace

int main(int argc, char **argv) {
	if (argc != 2) {
		std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
		return 1;
	}
	sml_set_diagnostic_handler([](const char *, void *) {}, nullptr);
	fs::path root = argv[1];
	std::map<std::string, seeds> targets;
	for (const char *t : {"fuzz_file", "fuzz_stream", "fuzz_records"}) {
		fs::create_directories(root / t);
		targets[t].dir = root / t;
	}

	// The file of every body, and each of its messages alone.
	sml_file *all = test::every_body_file();
	std::vector<bytes> files{file_bytes(all)};
	std::vector<bytes> frames{frame_bytes(all)};
	for (int i = 0; i < all->messages_len; i++) {
		sml_file *one = sml_file_init();
		sml_file_add_message(one, all->messages[i]);
		files.push_back(file_bytes(one));
		frames.push_back(frame_bytes(one));
		one->messages_len = 0; // the message stays with the first file
		sml_file_free(one);
	}
	sml_file_free(all);

	for (const auto &f : files)
		targets["fuzz_file"].add(f);

	// The stream target reads an area size and a chunking byte first.
	for (size_t i = 0; i < frames.size(); i++) {
		bytes s{static_cast<unsigned char>(i * 37), static_cast<unsigned char>(i)};
		s.insert(s.end(), {0x00, 0x1B, 0x1B, 0x01});
		s.insert(s.end(), frames[i].begin(), frames[i].end());
		s.insert(s.end(), frames[(i + 1) % frames.size()].begin(), frames[(i + 1) % frames.size()].end());
		targets["fuzz_stream"].add(s);
		bytes cut = s;
		cut.resize(s.size() - frames[(i + 1) % frames.size()].size() / 2);
		targets["fuzz_stream"].add(cut);
	}

	std::map<size_t, int> per_codec;
	for (const auto &f : files) {
		std::vector<std::pair<size_t, size_t>> parts;
		for (size_t at = 0; at < f.size();)
			elements(f, at, 0, parts);
		for (auto [begin, end] : parts)
			for (size_t c = 0; c < std::size(fuzz::codecs); c++) {
				if (per_codec[c] >= 12)
					continue;
				fuzz::parsed p = fuzz::parse(fuzz::codecs[c], f.data() + begin, end - begin);
				if (!p.ok || !p.record)
					continue;
				fuzz::codecs[c].release(p.record);
				bytes seed{static_cast<unsigned char>(c)};
				seed.insert(seed.end(), f.begin() + static_cast<std::ptrdiff_t>(begin),
					    f.begin() + static_cast<std::ptrdiff_t>(end));
				targets["fuzz_records"].add(seed);
				per_codec[c]++;
			}
	}
	for (auto &[name, s] : targets)
		std::printf("%s: %d seeds\n", name.c_str(), s.n);
	return 0;
}
