// The library's DLMS unit table: symbols by code, and obisdump's names for it.
#include <sml/sml_units.h>

#include "../examples/unit.h"
#include "sml_test.hpp"

namespace {

TEST(Units, SymbolsByCode) {
	const struct {
		unsigned char code;
		const char *symbol;
	} cases[] = {
		{1, "a"},  {9, "°C"}, {15, "m³/h"}, {16, "m³/h"}, {27, "W"}, {30, "Wh"}, {33, "A"}, {35, "V"},
		{44, "Hz"}, {48, "V²h"}, {56, "%"}, {255, "(unitless)"},
		{0, nullptr}, {58, nullptr}, {59, nullptr}, {65, nullptr}, {128, nullptr}, {252, nullptr},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(static_cast<int>(c.code));
		if (c.symbol)
			EXPECT_STREQ(sml_unit_symbol(c.code), c.symbol);
		else
			EXPECT_EQ(sml_unit_symbol(c.code), nullptr);
	}
}

// One table: obisdump's lookup hands out the library's own strings.
TEST(Units, ObisdumpNamesReferToTheLibraryTable) {
	int rows = 0;
	for (int code = 0; code < 256; code++) {
		auto c = static_cast<unsigned char>(code);
		EXPECT_EQ(static_cast<const char *>(dlms_get_unit(c)), sml_unit_symbol(c)) << code;
		rows += sml_unit_symbol(c) != nullptr;
	}
	EXPECT_EQ(rows, 65);
	EXPECT_EQ(&dlms_units[0], &sml_unit_rows[0]);
	EXPECT_EQ(sml_unit_rows[SML_UNIT_ROWS - 1].code, 0);
}

} // namespace
