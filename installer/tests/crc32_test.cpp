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

std::vector<Crc32Method> availableMethods() {
    std::vector<Crc32Method> methods{Crc32Method::Portable};
    if (Crc32MethodAvailable(Crc32Method::CarryLess)) methods.push_back(Crc32Method::CarryLess);
    return methods;
}

const char* nameOf(Crc32Method method) { return method == Crc32Method::Portable ? "portable" : "carry-less"; }

uint32_t finished(Crc32Method method, const unsigned char* data, size_t size) {
    return ~Crc32UpdateWith(method, 0xFFFFFFFFu, data, size);
}

// Every length up to a few KiB crosses each of the implementations' block and lane edges; the
// start moves through sixteen alignments as the length grows.
TEST(Crc32, EveryMethodMatchesZlibOnEveryLengthUpToFiveKiB) {
    const auto bytes = randomBytes(5200, 1);
    for (Crc32Method method : availableMethods()) {
        EXPECT_EQ(finished(method, bytes.data(), 0), 0u) << nameOf(method);
        EXPECT_EQ(finished(method, reinterpret_cast<const unsigned char*>("123456789"), 9), 0xCBF43926u)
            << nameOf(method);  // the catalogue's check value
        for (size_t size = 0; size <= 5120; ++size) {
            const size_t offset = size % 16;
            ASSERT_EQ(finished(method, bytes.data() + offset, size), zlibCrc(bytes.data() + offset, size))
                << nameOf(method) << " offset " << offset << " size " << size;
        }
    }
}

TEST(Crc32, EveryMethodMatchesZlibOnLargeBuffers) {
    const auto bytes = randomBytes((24u << 20) + 77, 5);
    for (Crc32Method method : availableMethods()) {
        for (size_t size : {size_t{1} << 20, (size_t{16} << 20) + 3, bytes.size() - 1}) {
            EXPECT_EQ(finished(method, bytes.data() + 1, size), zlibCrc(bytes.data() + 1, size))
                << nameOf(method) << " size " << size;
        }
    }
}

// The carry-less method is the one in use wherever the processor has it.
TEST(Crc32, ActiveMethodIsTheFastestAvailable) {
    EXPECT_EQ(ActiveCrc32Method(),
              Crc32MethodAvailable(Crc32Method::CarryLess) ? Crc32Method::CarryLess : Crc32Method::Portable);
    const auto bytes = randomBytes(9000, 4);
    EXPECT_EQ(Crc32(bytes.data(), bytes.size()), zlibCrc(bytes.data(), bytes.size()));
}

TEST(Crc32, RunningRegisterOverPiecesEqualsTheWhole) {
    const auto bytes = randomBytes(10000, 2);
    for (Crc32Method method : availableMethods()) {
        uint32_t running = 0xFFFFFFFFu;
        size_t pos = 0;
        for (size_t piece : {3, 4096, 0, 1, 13, 5000}) {
            running = Crc32UpdateWith(method, running, bytes.data() + pos, piece);
            pos += piece;
        }
        running = Crc32UpdateWith(method, running, bytes.data() + pos, bytes.size() - pos);
        EXPECT_EQ(~running, zlibCrc(bytes.data(), bytes.size())) << nameOf(method);
    }
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
