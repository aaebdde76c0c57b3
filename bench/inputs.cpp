#include "inputs.hpp"

#include <sml/sml_file.h>
#include <sml/sml_transport.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "meter_file.hpp"

namespace bench {

namespace {

// len - 16 bytes from byte 8: without the start sequence and the end block.
std::vector<unsigned char> file_of(const std::vector<unsigned char> &frame) {
	return {frame.begin() + 8, frame.end() - 8};
}

// The tree reads a file whole when no message fails, which it reports as a
// warning.
bool tree_reads_whole(const std::vector<unsigned char> &file) {
	bool warned = false;
	sml_set_diagnostic_handler([](const char *, void *ctx) { *static_cast<bool *>(ctx) = true; }, &warned);
	sml_file_free(sml_file_parse(file.data(), file.size()));
	sml_set_diagnostic_handler(nullptr, nullptr);
	return !warned;
}

input meter_input(unsigned readings) {
	sml_file *file = meter::file(0, readings);
	size_t len = sml_transport_build(file);
	input in{"meter-sim-" + std::to_string(readings), {file->buf->buffer, file->buf->buffer + len}, {}};
	sml_file_free(file);
	in.file = file_of(in.frame);
	return in;
}

} // namespace

inputs load(const std::string &corpus_dir) {
	inputs all;
	std::vector<std::filesystem::path> paths;
	if (std::filesystem::is_directory(corpus_dir))
		for (const auto &e : std::filesystem::directory_iterator(corpus_dir))
			if (e.path().extension() == ".bin")
				paths.push_back(e.path());
	std::sort(paths.begin(), paths.end());
	for (const auto &path : paths) {
		std::ifstream in(path, std::ios::binary);
		input frame{path.stem().string(), {std::istreambuf_iterator<char>(in), {}}, {}};
		if (frame.frame.size() < 16) {
			all.skipped.push_back(frame.name + " (shorter than a frame)");
			continue;
		}
		frame.file = file_of(frame.frame);
		if (!tree_reads_whole(frame.file)) {
			all.skipped.push_back(frame.name + " (the tree stops before its end)");
			continue;
		}
		all.corpus.push_back(std::move(frame));
	}
	for (unsigned readings : {3, 12, 200})
		all.meter.push_back(meter_input(readings));
	return all;
}

} // namespace bench
