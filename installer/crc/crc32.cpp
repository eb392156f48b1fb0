#include "installer/crc/crc32.h"

#include <array>
#include <cstring>
#include <vector>

#include "platform/core/files.h"

namespace installer {
namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr size_t kFileBlock = 4096;

using Tables = std::array<std::array<uint32_t, 256>, 8>;

// tables[0] is the standard byte table; tables[k][n] is the register after n is followed by
// k zero bytes, so that eight bytes can be folded with eight independent look-ups.
constexpr Tables makeTables() {
    Tables t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        t[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n) {
        for (size_t k = 1; k < 8; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    }
    return t;
}

constexpr Tables kTables = makeTables();

uint32_t loadLittleEndian32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size >= 8) {
        const uint32_t low = loadLittleEndian32(p) ^ crc;
        const uint32_t high = loadLittleEndian32(p + 4);
        crc = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^ kTables[5][(low >> 16) & 0xFF] ^
              kTables[4][low >> 24] ^ kTables[3][high & 0xFF] ^ kTables[2][(high >> 8) & 0xFF] ^
              kTables[1][(high >> 16) & 0xFF] ^ kTables[0][high >> 24];
        p += 8;
        size -= 8;
    }
    while (size-- > 0) crc = kTables[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

ce::Error FileCrc32(std::string_view path, uint32_t* crc) {
    *crc = 0;
    auto file = ce::File::open(path, ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING);
    if (!file) return file.error();

    uint32_t running = 0xFFFFFFFFu;
    std::vector<unsigned char> block(kFileBlock);
    for (;;) {
        uint32_t bytesRead = 0;
        if ((*file)->read(block.data(), kFileBlock, &bytesRead) != ce::ERROR_SUCCESS || bytesRead == 0) break;
        running = Crc32Update(running, block.data(), bytesRead);
    }
    *crc = ~running;
    return ce::ERROR_SUCCESS;
}

}  // namespace installer
