// zelkor::readings refuses a container that dies before the walk: in a
// range-for the temporary is gone before the first step. REFUSED picks the
// line that must not compile; without it, the twin holds the bytes in a
// variable or hands over views, and compiles.
#include <zelkor/zelkor.hpp>

#include <array>
#include <utility>
#include <vector>

std::vector<unsigned char> load();
std::array<unsigned char, 16> load_array();
std::vector<std::byte> load_bytes();

int count() {
	int n = 0;
#if REFUSED == 1
	for (const zelkor::reading &r : zelkor::readings(load()))
		n += r.readable();
#elif REFUSED == 2
	for (const zelkor::reading &r : zelkor::readings(load_array()))
		n += r.readable();
#elif REFUSED == 3
	auto bytes = load_bytes();
	for (const zelkor::reading &r : zelkor::readings(std::move(bytes)))
		n += r.readable();
#else
	auto bytes = load();
	for (const zelkor::reading &r : zelkor::readings(bytes))
		n += r.readable();
	auto array = load_array();
	for (const zelkor::reading &r : zelkor::readings(array))
		n += r.readable();
	const auto as_bytes = load_bytes();
	for (const zelkor::reading &r : zelkor::readings(as_bytes))
		n += r.readable();
	for (const zelkor::reading &r : zelkor::readings(std::span(bytes.data(), bytes.size())))
		n += r.readable();
	for (const zelkor::reading &r : zelkor::readings(std::span<const std::byte>(as_bytes)))
		n += r.readable();
#endif
	return n;
}
