#pragma once
// Building the frames the loader sends and recognising the frames the MCU sends back.

#include <cstddef>
#include <cstdint>

namespace mculoader {

inline constexpr size_t kBlockSize = 256;  // bytes of flash per data frame

// Writes a command frame (SOH LEN COM data SUM ETX) to out; returns its length, count + 5.
// out must hold count + 5 bytes.
size_t BuildCommandFrame(uint8_t* out, uint8_t command, size_t count, const uint8_t* data);

// Writes a data frame (STX LEN data SUM ETB/ETX) of 1..256 bytes to out; returns length + 4.
size_t BuildDataFrame(uint8_t* out, size_t length, const uint8_t* data, bool last);

// What the bytes at the start of a buffer are, seen as a frame from the MCU.
enum class FrameCheck {
    NotAFrame,  // the first byte is not STX
    Incomplete, // STX, but fewer than LEN + 4 bytes so far
    BadSum,     // complete, but LEN + data + SUM is not 0 modulo 256
    Valid,      // complete and valid: LEN + 4 bytes long
};
FrameCheck CheckMcuFrame(const uint8_t* bytes, size_t count);

}  // namespace mculoader
