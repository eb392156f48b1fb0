#pragma once
// The module's side of BCSP framing: SLIP framing (0xC0 ends a frame, 0xDB escapes) around a
// 4-byte header, the payload and a 16-bit CRC (CCITT polynomial, reflected, register from
// 0xFFFF, sent bit-reversed, high byte first).
//
// Written from the protocol's definition for the simulated module, independently of the
// head unit's own BCSP code.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim::bluetooth {

using Bytes = std::vector<uint8_t>;

struct BcspFrame {
    uint8_t seq = 0;
    uint8_t ack = 0;
    bool crc = true;
    bool reliable = false;
    uint8_t channel = 0;
    Bytes payload;
};

// The CRC register over `data` as the peer sends it: computed bit by bit, then reversed.
uint16_t FrameCrc(const Bytes& data);

// Header, payload and CRC of a frame, not yet SLIP-escaped.
Bytes EncodeFrame(const BcspFrame& frame);

// The frame on the wire: 0xC0, escaped bytes, 0xC0.
Bytes SlipWrap(const Bytes& raw);

// Why a received frame was refused.
enum class FrameError { None, TooShort, HeaderChecksum, Length, Crc };
const char* FrameErrorName(FrameError error);

// Parses the unescaped bytes between two 0xC0.
std::optional<BcspFrame> DecodeFrame(const Bytes& raw, FrameError& error);

// Splits the received byte stream into frames, undoing the escapes. A byte after 0xDB other
// than 0xDC/0xDD spoils the frame (it is reported as broken and not delivered).
class SlipReader {
public:
    struct Result {
        Bytes raw;
        bool broken = false;
    };
    // Feeds one byte; returns a complete frame when a closing 0xC0 ends a non-empty one.
    std::optional<Result> feed(uint8_t byte);
    void reset();

private:
    Bytes current_;
    bool escape_ = false;
    bool broken_ = false;
};

std::string HexBytes(const Bytes& bytes, size_t max = 32);

}  // namespace sim::bluetooth
