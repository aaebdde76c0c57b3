// The heap functions of the whole benchmark binary, library and libstdc++
// included: glibc's own behind a check of one flag. The calls land in a
// fixed array, since the log must not allocate itself.
#include "heap_log.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

extern "C" {
void *__libc_malloc(size_t n);
void *__libc_calloc(size_t n, size_t size);
void *__libc_realloc(void *p, size_t n);
void __libc_free(void *p);
}

namespace {

constexpr size_t capacity = 1 << 16;
heap_log::call calls[capacity];
size_t logged = 0;
long frees = 0;
bool logging = false;

void note(heap_log::kind how, size_t size) {
	if (logged < capacity)
		calls[logged] = {how, size};
	logged++;
}

} // namespace

extern "C" {
void *malloc(size_t n) {
	if (logging)
		note(heap_log::kind::malloc, n);
	return __libc_malloc(n);
}
void *calloc(size_t n, size_t size) {
	if (logging)
		note(heap_log::kind::calloc, n * size);
	return __libc_calloc(n, size);
}
void *realloc(void *p, size_t n) {
	if (logging)
		note(heap_log::kind::realloc, n);
	return __libc_realloc(p, n);
}
void free(void *p) {
	if (logging && p)
		frees++;
	__libc_free(p);
}
}

namespace heap_log {

long record::count(kind how) const {
	return std::count_if(calls.begin(), calls.end(), [how](const call &c) { return c.how == how; });
}

void open() {
	logged = 0;
	frees = 0;
	logging = true;
}

record close() {
	logging = false;
	if (logged > capacity) {
		std::fprintf(stderr, "heap log: %zu calls, more than the %zu it holds\n", logged, capacity);
		std::abort();
	}
	record r;
	r.calls.assign(calls, calls + logged);
	r.frees = frees;
	return r;
}

} // namespace heap_log
