#include "updater/bluetooth/bcsp_crc.h"

namespace bluetooth {

namespace {

// Entry i is the CRC of the nibble i.
constexpr uint16_t kNibbleTable[16] = {
    0x0000, 0x1081, 0x2102, 0x3183, 0x4204, 0x5285, 0x6306, 0x7387,
    0x8408, 0x9489, 0xA50A, 0xB58B, 0xC60C, 0xD68D, 0xE70E, 0xF78F,
};

}  // namespace

uint16_t BcspCrcUpdate(uint16_t crc, uint8_t byte) {
    crc = static_cast<uint16_t>(kNibbleTable[(crc ^ byte) & 0x0F] ^ (crc >> 4));
    crc = static_cast<uint16_t>(kNibbleTable[(crc ^ (byte >> 4)) & 0x0F] ^ (crc >> 4));
    return crc;
}

uint16_t BcspBitReverse(uint16_t value) {
    uint16_t reversed = 0;
    for (int bit = 0; bit < 16; ++bit) {
        reversed = static_cast<uint16_t>((reversed << 1) | (value & 1));
        value >>= 1;
    }
    return reversed;
}

uint16_t BcspCrc(const uint8_t* data, size_t size) {
    uint16_t crc = kBcspCrcInitial;
    for (size_t i = 0; i < size; ++i) crc = BcspCrcUpdate(crc, data[i]);
    return crc;
}

}  // namespace bluetooth
