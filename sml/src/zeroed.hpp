// Records made on the heap with every field zero (pointers NULL).
#pragma once

#include <cstdlib>

namespace zelkor::detail {

// malloc and value-initialisation rather than calloc, which in glibc
// bypasses the per-thread cache: a parse makes a record for nearly every list
// it reads. NULL when out of memory; released with free like the rest.
template <class T> T *zeroed() {
	auto *p = static_cast<T *>(std::malloc(sizeof(T)));
	if (p)
		*p = T{};
	return p;
}

} // namespace zelkor::detail
