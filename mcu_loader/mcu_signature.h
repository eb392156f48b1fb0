#pragma once
// McuSignature: what the MCU says about itself in the data frame that follows the silicon
// signature command's status. The MCU sends 7-bit values (the top bit of each byte is not
// part of the value), laid out by chip variant:
//
//   field                    chip 0        chip 1
//   vendor code (0x10)       D0            D0
//   last address, 21 bits    D4 D5 D6      D3 D4 D5     (low, middle, high 7 bits)
//   device name (log only)   D7..D15       D6..D15
//   block count              D18           D16

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace mculoader {

struct McuSignature {
    uint8_t vendorCode = 0;
    uint32_t lastAddress = 0;
    std::u16string deviceName;
    uint8_t blockCount = 0;
};

inline constexpr uint8_t kVendorCode = 0x10;

// Data bytes D0.. of the signature frame (without STX, LEN, SUM, ETX). Nothing for another
// chip variant or when the frame is too short for the fields the variant reads.
std::optional<McuSignature> ParseSignature(int chip, const uint8_t* data, size_t count);

// The number of 256-byte blocks written and verified: (last address + 1) / 256.
inline uint32_t WriteBlockCount(uint32_t lastAddress) { return (lastAddress + 1) / 256; }

}  // namespace mculoader
