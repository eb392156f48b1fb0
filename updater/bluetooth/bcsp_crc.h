#pragma once
// The 16-bit CRC that closes every BCSP packet: polynomial x^16 + x^12 + x^5 + 1 processed
// least-significant bit first, four bits at a time through a 16-entry table. The register
// starts at 0xFFFF; the final value is bit-reversed and sent high byte first.

#include <cstddef>
#include <cstdint>

namespace bluetooth {

inline constexpr uint16_t kBcspCrcInitial = 0xFFFF;

// Folds one byte into the running register (low nibble first, then high nibble).
uint16_t BcspCrcUpdate(uint16_t crc, uint8_t byte);

// Bit 0 becomes bit 15, bit 1 bit 14, and so on.
uint16_t BcspBitReverse(uint16_t value);

// The register over a run of bytes, starting from kBcspCrcInitial (not reversed).
uint16_t BcspCrc(const uint8_t* data, size_t size);

}  // namespace bluetooth
