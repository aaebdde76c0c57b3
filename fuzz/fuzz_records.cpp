// libFuzzer target for every record parser. The first byte picks the
// parser, the rest is its input. A record that parses is written, the bytes
// written are parsed again, and that record must write the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>

#include "records.hpp"

using fuzz::codecs;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
	if (size < 1)
		return 0;
	const fuzz::codec &c = codecs[data[0] % std::size(codecs)];
	fuzz::parsed first = fuzz::parse(c, data + 1, size - 1);
	if (!first.ok)
		return 0;
	auto bytes = fuzz::written(c, first.record);
	c.release(first.record);
	fuzz::parsed second = fuzz::parse(c, bytes.data(), bytes.size());
	if (!second.ok)
		std::abort();
	auto again = fuzz::written(c, second.record);
	c.release(second.record);
	if (again != bytes)
		std::abort();
	return 0;
}
