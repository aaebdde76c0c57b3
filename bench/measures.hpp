// The measures taken of every subject (one frame, or a set of frames taken
// together), registered as <measure>/<subject>:
//   decode  sml_file_parse then sml_file_free
//   floor   the decode's allocations as bare malloc calls, then as many frees
//   walk    sml_readings with a callback that reads each reading's fields
//   encode  sml_file_write of the parsed file into its own buffer, reused
//   stream  the stream decoder over the frames, each repeated, in 4 KiB chunks
//   crc     sml_crc16_calculate over each frame, as its frame CRC covers it
//   floor-as-called  the floor with the decode's own kind of call (calloc for
//           a calloc): for the reference subject only
// Every iteration takes each frame of the subject once (the stream: each of
// its copies), so the time per frame is the iteration's divided by frames().
#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "heap_log.hpp"
#include "inputs.hpp"

namespace bench {

inline constexpr const char *measures[] = {"decode", "floor",  "walk",           "encode",
					   "stream", "crc", "floor-as-called"};

// Copies of each frame in the stream decoder's input.
inline constexpr int stream_copies = 100;

struct subject {
	std::string name;
	std::vector<const input *> frames;
	// The typical frames, on which the library's targets are judged.
	bool reference;
	// What each frame's decode allocates, recorded once.
	std::vector<heap_log::record> decode_heap;
	// What the encode allocates once its buffer has grown to the file, per frame.
	std::vector<heap_log::record> encode_heap;

	subject(std::string name, std::vector<const input *> frames, bool reference = false);
	double file_bytes() const; // per frame
	double allocations() const; // per frame, in the decode
};

void register_measures(const subject &s);

// The stream decoder over input fed in chunks of the given size; counts the
// frames and their file bytes as rates.
void stream_decode(benchmark::State &state, const std::vector<unsigned char> &input, size_t chunk);

} // namespace bench
