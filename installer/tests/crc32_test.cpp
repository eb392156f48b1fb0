#include "installer/crc/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "installer/tests/test_support.h"
#include "sim/headunit/headunit.h"

namespace installer {
namespace {

std::vector<unsigned char> randomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<unsigned char> bytes(size);
    for (auto& b : bytes) b = static_cast<unsigned char>(rng());
    return bytes;
}

uint32_t zlibCrc(const unsigned char* data, size_t size) {
    return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), data, static_cast<uInt>(size)));
}

TEST(Crc32, MatchesZlibOnRandomDataOfEveryLengthAndAlignment) {
    const auto bytes = randomBytes(70000, 1);
    EXPECT_EQ(Crc32(bytes.data(), 0), 0u);
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);  // the catalogue's check value
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t size : {1, 2, 7, 8, 9, 15, 16, 17, 63, 4079, 4080, 4081, 4095, 4096, 4097, 8160, 65536}) {
            ASSERT_EQ(Crc32(bytes.data() + offset, size), zlibCrc(bytes.data() + offset, size))
                << "offset " << offset << " size " << size;
        }
    }
}

TEST(Crc32, RunningRegisterOverPiecesEqualsTheWhole) {
    const auto bytes = randomBytes(10000, 2);
    uint32_t running = 0xFFFFFFFFu;
    size_t pos = 0;
    for (size_t piece : {3, 4096, 1, 13, 5000}) {
        running = Crc32Update(running, bytes.data() + pos, piece);
        pos += piece;
    }
    running = Crc32Update(running, bytes.data() + pos, bytes.size() - pos);
    EXPECT_EQ(~running, zlibCrc(bytes.data(), bytes.size()));
}

TEST(Crc32, FileCrcReadsTheWholeFileOrGivesTheOpenError) {
    sim::TempHeadUnit unit;
    for (size_t size : {size_t{0}, size_t{4096}, size_t{3 * 4096 + 17}}) {
        const auto bytes = randomBytes(size, static_cast<uint32_t>(size));
        testing::writeHostFile(unit.sdcard() / "f.bin", std::string(bytes.begin(), bytes.end()));
        uint32_t crc = 0x12345678;
        EXPECT_EQ(FileCrc32("\\SDMMC Card\\F.BIN", &crc), 0u);
        EXPECT_EQ(crc, zlibCrc(bytes.data(), bytes.size())) << size;
    }
    uint32_t crc = 0x12345678;
    EXPECT_EQ(FileCrc32("\\SDMMC Card\\missing.bin", &crc), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(crc, 0u);
    EXPECT_EQ(FileCrc32("\\SDMMC Card\\no folder\\missing.bin", &crc), ce::ERROR_PATH_NOT_FOUND);
}

}  // namespace
}  // namespace installer
