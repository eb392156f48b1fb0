#include "installer/crc/crc_list.h"

#include <gtest/gtest.h>

#include <string>

namespace installer {
namespace {

using namespace std::string_view_literals;

TEST(CrcListLine, HexDigitsInEitherCaseAndTrailingText) {
    const auto lower = ParseCrcListLine("Kelo_ZEK_IMG\\a.bmp:deadbeef trailing text\n");
    const auto upper = ParseCrcListLine("Kelo_ZEK_IMG\\a.bmp:DEADBEEF\n");
    ASSERT_TRUE(lower && upper);
    EXPECT_EQ(lower->relativePath, "Kelo_ZEK_IMG\\a.bmp");
    EXPECT_EQ(lower->expected, 0xDEADBEEFu);
    EXPECT_EQ(upper->expected, 0xDEADBEEFu);
}

TEST(CrcListLine, ShortValuesAndOtherCharactersCountAsZeroDigits) {
    EXPECT_EQ(ParseCrcListLine("a:12\n")->expected, 0x12000000u);  // the line break is a 0 digit too
    EXPECT_EQ(ParseCrcListLine("a:1234")->expected, 0x12340000u);
    EXPECT_EQ(ParseCrcListLine("a:")->expected, 0u);
    EXPECT_EQ(ParseCrcListLine("a:1-2+3 4z")->expected, 0x10203063u);  // z = 35 overlaps the 4
    // Letters beyond f give 10-35; only their low four bits survive the next shift.
    EXPECT_EQ(ParseCrcListLine("a:0000000g")->expected, 16u);
    EXPECT_EQ(ParseCrcListLine("a:000000z0")->expected, 0x230u);
}

TEST(CrcListLine, PathIsTakenAsItStandsUpToTheFirstColon) {
    const auto blank = ParseCrcListLine("Kelo_ZEK.exe :0000000A\n");
    ASSERT_TRUE(blank);
    EXPECT_EQ(blank->relativePath, "Kelo_ZEK.exe ");
    const auto twoColons = ParseCrcListLine("a:b:00000001\n");
    ASSERT_TRUE(twoColons);
    EXPECT_EQ(twoColons->relativePath, "a");
    EXPECT_FALSE(ParseCrcListLine("no colon at all 12345678\n"));
    EXPECT_FALSE(ParseCrcListLine(""));
}

TEST(CrcListLine, TheColonIsSearchedOnlyUpToAZeroByteButDigitsMayFollowIt) {
    EXPECT_FALSE(ParseCrcListLine("name\0:12345678\n"sv));
    EXPECT_EQ(ParseCrcListLine("n:12\0" "45678\n"sv)->expected, 0x12045678u);
}

TEST(CrcListLine, DigitsPastTheLineBufferReadAsZero) {
    const std::string line = std::string(1020, 'p') + ":FFFFFFFF";  // only "FF" fit in 1023 bytes
    const auto parsed = ParseCrcListLine(line);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->expected, 0xFF000000u);
}

}  // namespace
}  // namespace installer
