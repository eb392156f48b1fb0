// The signature fields of both chip variants, 7-bit values, and frames too short to read.

#include "mcu_loader/mcu_signature.h"

#include <gtest/gtest.h>

#include <vector>

namespace mculoader {
namespace {

TEST(McuSignature, ReadsEachVariantsLayoutWithTheTopBitsCleared) {
    // Chip 0: last address 0xEFFF = 0x7F | 0x5F << 7 | 0x03 << 14.
    std::vector<uint8_t> d0 = {0x10, 0x7F, 0x04, 0xB1, 0xFF, 0xDF, 0x83};
    for (char c : std::string("DEVICE-09X")) d0.push_back(static_cast<uint8_t>(c) | 0x80);
    d0.insert(d0.end(), {0x80, 0xBC, 0x01, 0x00, 0x03});  // D17, D18 = 60 blocks, version
    auto s0 = ParseSignature(0, d0.data(), d0.size());
    ASSERT_TRUE(s0);
    EXPECT_EQ(s0->vendorCode, 0x10);
    EXPECT_EQ(s0->lastAddress, 0xEFFFu);
    EXPECT_EQ(s0->deviceName, u"DEVICE-09");  // nine characters
    EXPECT_EQ(s0->blockCount, 60);
    EXPECT_EQ(WriteBlockCount(s0->lastAddress), 240u);

    std::vector<uint8_t> d1 = {0x90, 0x7F, 0x05, 0xFF, 0x7F, 0x01};  // last address 0x7FFF
    for (char c : std::string("TENLETTERS")) d1.push_back(static_cast<uint8_t>(c));
    d1.push_back(0x20);
    auto s1 = ParseSignature(1, d1.data(), d1.size());
    ASSERT_TRUE(s1);
    EXPECT_EQ(s1->vendorCode, 0x10);
    EXPECT_EQ(s1->lastAddress, 0x7FFFu);
    EXPECT_EQ(s1->deviceName, u"TENLETTERS");
    EXPECT_EQ(s1->blockCount, 32);
}

TEST(McuSignature, AFrameTooShortOrAnUnknownVariantIsNoSignature) {
    std::vector<uint8_t> d(19, 0x10);
    EXPECT_TRUE(ParseSignature(0, d.data(), 19));
    EXPECT_FALSE(ParseSignature(0, d.data(), 18));
    EXPECT_TRUE(ParseSignature(1, d.data(), 17));
    EXPECT_FALSE(ParseSignature(1, d.data(), 16));
    EXPECT_FALSE(ParseSignature(1, d.data(), 0));
    EXPECT_FALSE(ParseSignature(2, d.data(), 19));
}

}  // namespace
}  // namespace mculoader
