// Names of common OBIS codes. The rows are kept sorted at compile time, so a
// lookup is a binary search.
#include <sml/sml_obis.h>

#include <algorithm>
#include <array>
#include <tuple>

namespace {

constexpr unsigned char any = 0; // B is not compared

struct obis_row {
	unsigned char obis[6];
	const char *name;
};

constexpr obis_row row(unsigned char a, unsigned char c, unsigned char d, unsigned char e, unsigned char f,
			   const char *name) {
	return {{a, any, c, d, e, f}, name};
}

constexpr auto key(const unsigned char *o) { return std::tuple(o[2], o[3], o[4], o[0], o[5]); }

constexpr bool before(const obis_row &x, const obis_row &y) { return key(x.obis) < key(y.obis); }

constexpr auto table = [] {
	std::array rows{
		// Identification and firmware
		row(1, 0, 0, 0, 255, "Owner number"),
		row(1, 0, 0, 9, 255, "Device ID"),
		row(1, 0, 2, 0, 0, "Firmware version"),
		row(1, 96, 1, 0, 255, "Meter ID"),
		row(0, 96, 1, 0, 255, "Meter ID"),
		row(1, 96, 50, 1, 1, "Manufacturer ID"),
		row(1, 96, 90, 2, 1, "Firmware checksum"),
		row(129, 199, 130, 3, 255, "Manufacturer"),
		row(129, 199, 130, 5, 255, "Public key"),
		// Status
		row(1, 96, 5, 0, 255, "Status"),
		row(0, 96, 5, 0, 255, "Status"),
		row(1, 97, 97, 0, 0, "Error register"),
		row(0, 97, 97, 0, 255, "Error register"),
		// Active energy
		row(1, 1, 8, 0, 255, "Energy import total"),
		row(1, 1, 8, 1, 255, "Energy import tariff 1"),
		row(1, 1, 8, 2, 255, "Energy import tariff 2"),
		row(1, 1, 8, 3, 255, "Energy import tariff 3"),
		row(1, 1, 8, 4, 255, "Energy import tariff 4"),
		row(1, 1, 8, 5, 255, "Energy import tariff 5"),
		row(1, 1, 8, 6, 255, "Energy import tariff 6"),
		row(1, 1, 8, 7, 255, "Energy import tariff 7"),
		row(1, 1, 8, 8, 255, "Energy import tariff 8"),
		row(1, 1, 8, 9, 255, "Energy import tariff 9"),
		row(1, 2, 8, 0, 255, "Energy export total"),
		row(1, 2, 8, 1, 255, "Energy export tariff 1"),
		row(1, 2, 8, 2, 255, "Energy export tariff 2"),
		row(1, 2, 8, 3, 255, "Energy export tariff 3"),
		row(1, 2, 8, 4, 255, "Energy export tariff 4"),
		row(1, 2, 8, 5, 255, "Energy export tariff 5"),
		row(1, 2, 8, 6, 255, "Energy export tariff 6"),
		row(1, 2, 8, 7, 255, "Energy export tariff 7"),
		row(1, 2, 8, 8, 255, "Energy export tariff 8"),
		row(1, 2, 8, 9, 255, "Energy export tariff 9"),
		// Reactive energy
		row(1, 3, 8, 0, 255, "Reactive energy import total"),
		row(1, 4, 8, 0, 255, "Reactive energy export total"),
		// Instantaneous values
		row(1, 1, 7, 0, 255, "Active power import"),
		row(1, 2, 7, 0, 255, "Active power export"),
		row(1, 3, 7, 0, 255, "Reactive power import"),
		row(1, 4, 7, 0, 255, "Reactive power export"),
		row(1, 9, 7, 0, 255, "Apparent power"),
		row(1, 13, 7, 0, 255, "Power factor"),
		row(1, 14, 7, 0, 255, "Frequency"),
		row(1, 15, 7, 0, 255, "Active power absolute"),
		row(1, 16, 7, 0, 255, "Active power"),
		row(1, 21, 7, 0, 255, "Active power import L1"),
		row(1, 31, 7, 0, 255, "Current L1"),
		row(1, 32, 7, 0, 255, "Voltage L1"),
		row(1, 33, 7, 0, 255, "Power factor L1"),
		row(1, 36, 7, 0, 255, "Active power L1"),
		row(1, 41, 7, 0, 255, "Active power import L2"),
		row(1, 51, 7, 0, 255, "Current L2"),
		row(1, 52, 7, 0, 255, "Voltage L2"),
		row(1, 53, 7, 0, 255, "Power factor L2"),
		row(1, 56, 7, 0, 255, "Active power L2"),
		row(1, 61, 7, 0, 255, "Active power import L3"),
		row(1, 71, 7, 0, 255, "Current L3"),
		row(1, 72, 7, 0, 255, "Voltage L3"),
		row(1, 73, 7, 0, 255, "Power factor L3"),
		row(1, 76, 7, 0, 255, "Active power L3"),
		row(1, 81, 7, 1, 255, "Phase angle U-L2 to U-L1"),
		row(1, 81, 7, 2, 255, "Phase angle U-L3 to U-L1"),
		row(1, 81, 7, 4, 255, "Phase angle I-L1 to U-L1"),
		row(1, 81, 7, 15, 255, "Phase angle I-L2 to U-L2"),
		row(1, 81, 7, 26, 255, "Phase angle I-L3 to U-L3"),
		row(1, 91, 7, 0, 255, "Current neutral"),
	};
	std::sort(rows.begin(), rows.end(), before);
	return rows;
}();

static_assert(std::adjacent_find(table.begin(), table.end(),
				 [](const obis_row &x, const obis_row &y) { return !before(x, y); }) ==
		      table.end(),
	      "every OBIS row once");

} // namespace

extern "C" {

const char *sml_obis_name(const unsigned char *name, size_t len) {
	if (!name || len != 6)
		return nullptr;
	obis_row probe{{name[0], any, name[2], name[3], name[4], name[5]}, nullptr};
	auto it = std::lower_bound(table.begin(), table.end(), probe, before);
	if (it == table.end() || before(probe, *it))
		return nullptr;
	return it->name;
}

} // extern "C"
