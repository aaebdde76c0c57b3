// Names of common OBIS codes: six bytes in, an English name out.
#include <sml/sml_obis.h>

#include <zelkor/zelkor.hpp>

#include "sml_test.hpp"

namespace {

TEST(ObisNames, ByTheSixBytesOfTheName) {
	const struct {
		const char *hex;
		const char *name;
	} cases[] = {
		{"0100010800FF", "Energy import total"},
		{"0100010801FF", "Energy import tariff 1"},
		{"0100010809FF", "Energy import tariff 9"},
		{"0100020800FF", "Energy export total"},
		{"0100020802FF", "Energy export tariff 2"},
		{"0100100700FF", "Active power"},
		{"0100240700FF", "Active power L1"},
		{"0100380700FF", "Active power L2"},
		{"01004C0700FF", "Active power L3"},
		{"0100200700FF", "Voltage L1"},
		{"01001F0700FF", "Current L1"},
		{"01000E0700FF", "Frequency"},
		{"0100510704FF", "Phase angle I-L1 to U-L1"},
		{"0100000009FF", "Device ID"},
		{"0100000200" "00", "Firmware version"},
		{"0100600100FF", "Meter ID"},
		{"8181C78203FF", "Manufacturer"},
		{"0100600500FF", "Status"},
		// B is the channel and not compared.
		{"0101010800FF", "Energy import total"},
		// Historic values, other media, unknown codes: no name.
		{"0100010800" "60", nullptr},
		{"0700010800FF", nullptr},
		{"0100010810FF", nullptr},
		{"000000000000", nullptr},
		{"FFFFFFFFFFFF", nullptr},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.hex);
		auto bytes = test::bytes(c.hex);
		ASSERT_EQ(bytes.size(), 6u);
		const char *got = sml_obis_name(bytes.data(), bytes.size());
		if (c.name)
			EXPECT_STREQ(got, c.name);
		else
			EXPECT_EQ(got, nullptr);
		auto cxx = zelkor::obis_name(zelkor::obis_code(std::span<const unsigned char, 6>(bytes.data(), 6)));
		EXPECT_EQ(cxx, c.name ? std::optional<std::string_view>(c.name) : std::nullopt);
	}
}

// Only a name of exactly six bytes is an OBIS code.
TEST(ObisNames, OtherLengthsHaveNone) {
	auto seven = test::bytes("0100010800FF07");
	EXPECT_EQ(sml_obis_name(seven.data(), 7), nullptr);
	EXPECT_EQ(sml_obis_name(seven.data(), 5), nullptr);
	EXPECT_EQ(sml_obis_name(seven.data(), 0), nullptr);
	EXPECT_EQ(sml_obis_name(nullptr, 6), nullptr);
	EXPECT_STREQ(sml_obis_name(seven.data(), 6), "Energy import total");
}

} // namespace
