#include "installer/crc/crc32.h"

#include <array>
#include <cstring>
#include <vector>

#include "platform/core/files.h"

namespace installer {
namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr size_t kFileBlock = 4096;

constexpr size_t kSlices = 16;
using Tables = std::array<std::array<uint32_t, 256>, kSlices>;

// tables[0] is the standard byte table; tables[k][n] is the register after n is followed by
// k zero bytes, so that sixteen bytes can be folded with sixteen independent look-ups.
constexpr Tables makeTables() {
    Tables t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        t[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n) {
        for (size_t k = 1; k < kSlices; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
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
    while (size >= kSlices) {
        // The register is folded into the first four bytes; each byte then contributes the
        // register it leaves after the bytes that follow it in this block.
        const uint32_t words[4] = {loadLittleEndian32(p) ^ crc, loadLittleEndian32(p + 4),
                                   loadLittleEndian32(p + 8), loadLittleEndian32(p + 12)};
        crc = 0;
        for (size_t w = 0; w < 4; ++w) {
            const size_t k = kSlices - 1 - 4 * w;
            crc ^= kTables[k][words[w] & 0xFF] ^ kTables[k - 1][(words[w] >> 8) & 0xFF] ^
                   kTables[k - 2][(words[w] >> 16) & 0xFF] ^ kTables[k - 3][words[w] >> 24];
        }
        p += kSlices;
        size -= kSlices;
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
