#include "mcu_loader/mcu_frames.h"

#include "mcu_loader/mcu_protocol.h"

namespace mculoader {

namespace {

// The value that brings a byte sum to 0 modulo 256.
uint8_t Complement(unsigned sum) { return static_cast<uint8_t>((0x100 - (sum & 0xFF)) & 0xFF); }

}  // namespace

size_t BuildCommandFrame(uint8_t* out, uint8_t command, size_t count, const uint8_t* data) {
    uint8_t len = static_cast<uint8_t>(count + 1);
    unsigned sum = len + command;
    out[0] = SOH;
    out[1] = len;
    out[2] = command;
    for (size_t i = 0; i < count; ++i) {
        out[3 + i] = data[i];
        sum += data[i];
    }
    out[3 + count] = Complement(sum);
    out[4 + count] = ETX;
    return count + 5;
}

size_t BuildDataFrame(uint8_t* out, size_t length, const uint8_t* data, bool last) {
    uint8_t len = static_cast<uint8_t>(length & 0xFF);  // 256 is written as 0
    unsigned sum = len;
    out[0] = STX;
    out[1] = len;
    for (size_t i = 0; i < length; ++i) {
        out[2 + i] = data[i];
        sum += data[i];
    }
    out[2 + length] = Complement(sum);
    out[3 + length] = last ? ETX : ETB;
    return length + 4;
}

FrameCheck CheckMcuFrame(const uint8_t* bytes, size_t count) {
    if (count == 0 || bytes[0] != STX) return count == 0 ? FrameCheck::Incomplete : FrameCheck::NotAFrame;
    if (count < 2) return FrameCheck::Incomplete;
    size_t len = bytes[1];
    if (count < len + 4) return FrameCheck::Incomplete;
    unsigned sum = 0;
    for (size_t i = 1; i <= len + 2; ++i) sum += bytes[i];  // LEN, the data, SUM
    return (sum & 0xFF) == 0 ? FrameCheck::Valid : FrameCheck::BadSum;
}

}  // namespace mculoader
