// The heap calls of a stretch of code, counted and recorded. The benchmark
// replaces malloc, calloc, realloc and free with versions that forward to
// glibc's own and, while a log is open, note every call: what the decode
// allocates, call by call, and what the allocator floor repeats.
//
// One log at a time, on one thread; nothing between open and close may
// allocate except the code being logged (the log itself does not).
#pragma once

#include <cstddef>
#include <vector>

namespace heap_log {

enum class kind : unsigned char { malloc, calloc, realloc };

struct call {
	kind how;
	size_t size; // bytes asked for: n * size for calloc, the new size for realloc
};

struct record {
	std::vector<call> calls; // every allocating call, in order
	long frees = 0;          // free calls with a pointer other than NULL
	long count(kind how) const;
};

void open();
// Ends the log and hands over what it saw. Aborts when the code made more
// calls than the log holds.
record close();

} // namespace heap_log
