// The hex reader every fixture goes through: it must refuse a typo, or the
// test would quietly check other bytes than the ones it shows.
#include "sml_test.hpp"

namespace {

TEST(HexHelper, ReadsBytesWithOrWithoutBlanks) {
	EXPECT_EQ(test::bytes("76 0701\t62 ff\n"), (std::vector<unsigned char>{0x76, 0x07, 0x01, 0x62, 0xFF}));
	EXPECT_TRUE(test::bytes("").empty());
}

TEST(HexHelper, TyposThrow) {
	for (const char *typo : {"62 O1", "62 01 0", "6 201", "62,01", "0x62", "62 01 G"}) {
		SCOPED_TRACE(typo);
		EXPECT_THROW(test::bytes(typo), std::invalid_argument);
	}
}

} // namespace
