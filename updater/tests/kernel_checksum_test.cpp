// The kernel checksum: the CRC itself, the bytes it covers and the stored word it is held against.

#include <gtest/gtest.h>

#include <cstring>
#include <string_view>
#include <vector>

#include "updater/nand/kernel_checksum.h"

namespace updater {
namespace {

std::vector<uint8_t> PatternImage(size_t size) {
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
    return image;
}

TEST(KernelChecksum, CheckValueAndContinuation) {
    std::string_view text = "123456789";
    std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    EXPECT_EQ(CdRomEdcCrc(bytes), 0x6EC2EDC4u);
    EXPECT_EQ(CdRomEdcCrc(bytes.subspan(4), CdRomEdcCrc(bytes.first(4))), 0x6EC2EDC4u);
    EXPECT_EQ(CdRomEdcCrc({}), 0u);
}

// The sliced tables against the bit-at-a-time definition, on every length and start that
// crosses the eight-byte steps, continuing from a register that is not zero.
TEST(KernelChecksum, SlicedCrcEqualsTheBitwiseDefinition) {
    auto bytes = PatternImage(700);
    auto bitwise = [](std::span<const uint8_t> run, uint32_t crc) {
        for (uint8_t b : run) {
            crc ^= b;
            for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xD8018001u : crc >> 1;
        }
        return crc;
    };
    std::span<const uint8_t> all(bytes);
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t size = 0; size + offset <= all.size(); size += 1 + size / 16) {
            auto run = all.subspan(offset, size);
            ASSERT_EQ(CdRomEdcCrc(run, 0x12345678u), bitwise(run, 0x12345678u)) << offset << " " << size;
        }
    }
}

TEST(KernelChecksum, CoversFirst128KiBWithoutBytes16To23) {
    auto image = PatternImage(kKernelChecksumSpan + 5000);
    const uint32_t reference = KernelChecksum(image);

    auto changed = image;
    for (size_t i = 16; i < 24; ++i) changed[i] ^= 0xFF;           // the left-out bytes
    changed[kKernelChecksumSpan + 10] ^= 0xFF;                    // beyond 128 KiB
    EXPECT_EQ(KernelChecksum(changed), reference);

    for (size_t at : {size_t{15}, size_t{24}, kKernelChecksumSpan - 1}) {
        auto flipped = image;
        flipped[at] ^= 0x01;
        EXPECT_NE(KernelChecksum(flipped), reference) << "byte " << at;
    }

    // The same as the plain CRC over the covered bytes, joined.
    std::vector<uint8_t> covered(image.begin(), image.begin() + 16);
    covered.insert(covered.end(), image.begin() + 24, image.begin() + kKernelChecksumSpan);
    EXPECT_EQ(reference, CdRomEdcCrc(covered));
}

TEST(KernelChecksum, ShortImageIsCheckedOverWhatItHas) {
    auto image = PatternImage(4097);
    std::vector<uint8_t> covered(image.begin(), image.begin() + 16);
    covered.insert(covered.end(), image.begin() + 24, image.end());
    EXPECT_EQ(KernelChecksum(image), CdRomEdcCrc(covered));

    // Under 20 bytes there is no stored word to compare with.
    EXPECT_FALSE(StoredKernelChecksum(PatternImage(19)).has_value());
    auto twenty = PatternImage(20);
    const uint32_t word = 0x11223344;
    std::memcpy(twenty.data() + 16, &word, 4);  // little-endian host
    EXPECT_EQ(StoredKernelChecksum(twenty), word);
}

}  // namespace
}  // namespace updater
