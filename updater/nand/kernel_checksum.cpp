#include "updater/nand/kernel_checksum.h"

#include <array>

namespace updater {

namespace {

constexpr std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xD8018001u : crc >> 1;
        table[i] = crc;
    }
    return table;
}

constexpr auto kTable = MakeTable();

}  // namespace

uint32_t CdRomEdcCrc(std::span<const uint8_t> bytes, uint32_t crc) {
    for (uint8_t b : bytes) crc = kTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
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
