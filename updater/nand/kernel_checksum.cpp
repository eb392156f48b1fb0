#include "updater/nand/kernel_checksum.h"

#include <array>

namespace updater {

namespace {

constexpr uint32_t kPolynomial = 0xD8018001u;
constexpr size_t kSlices = 8;
using Tables = std::array<std::array<uint32_t, 256>, kSlices>;

// tables[0] is the byte table; tables[k][n] is the register after n is followed by k zero
// bytes, so eight bytes fold with eight independent look-ups instead of eight dependent ones.
constexpr Tables MakeTables() {
    Tables t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t crc = n;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ kPolynomial : crc >> 1;
        t[0][n] = crc;
    }
    for (uint32_t n = 0; n < 256; ++n) {
        for (size_t k = 1; k < kSlices; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    }
    return t;
}

constexpr Tables kTables = MakeTables();

uint32_t LoadLittleEndian32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

uint32_t CdRomEdcCrc(std::span<const uint8_t> bytes, uint32_t crc) {
    const uint8_t* p = bytes.data();
    size_t size = bytes.size();
    for (; size >= kSlices; p += kSlices, size -= kSlices) {
        const uint32_t low = LoadLittleEndian32(p) ^ crc, high = LoadLittleEndian32(p + 4);
        crc = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^ kTables[5][(low >> 16) & 0xFF] ^
              kTables[4][low >> 24] ^ kTables[3][high & 0xFF] ^ kTables[2][(high >> 8) & 0xFF] ^
              kTables[1][(high >> 16) & 0xFF] ^ kTables[0][high >> 24];
    }
    for (; size > 0; --size) crc = kTables[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

uint32_t KernelChecksum(std::span<const uint8_t> imageHead) {
    if (imageHead.size() > kKernelChecksumSpan) imageHead = imageHead.first(kKernelChecksumSpan);
    constexpr size_t kSkipBegin = kKernelChecksumOffset;
    constexpr size_t kSkipEnd = kKernelChecksumOffset + 8;
    if (imageHead.size() <= kSkipBegin) return CdRomEdcCrc(imageHead);
    uint32_t crc = CdRomEdcCrc(imageHead.first(kSkipBegin));
    if (imageHead.size() > kSkipEnd) crc = CdRomEdcCrc(imageHead.subspan(kSkipEnd), crc);
    return crc;
}

std::optional<uint32_t> StoredKernelChecksum(std::span<const uint8_t> imageHead) {
    if (imageHead.size() < kKernelChecksumOffset + 4) return std::nullopt;
    const uint8_t* p = imageHead.data() + kKernelChecksumOffset;
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace updater
