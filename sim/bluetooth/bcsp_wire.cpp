#include "sim/bluetooth/bcsp_wire.h"

#include <cstdio>

namespace sim::bluetooth {

uint16_t FrameCrc(const Bytes& data) {
    uint16_t reg = 0xFFFF;
    for (uint8_t byte : data) {
        for (int bit = 0; bit < 8; ++bit) {
            bool feedback = ((reg ^ (byte >> bit)) & 1) != 0;
            reg = static_cast<uint16_t>(reg >> 1);
            if (feedback) reg ^= 0x8408;
        }
    }
    uint16_t reversed = 0;
    for (int bit = 0; bit < 16; ++bit) {
        if (reg & (1u << bit)) reversed |= static_cast<uint16_t>(1u << (15 - bit));
    }
    return reversed;
}

Bytes EncodeFrame(const BcspFrame& frame) {
    size_t length = frame.payload.size();
    Bytes raw;
    raw.reserve(length + 6);
    raw.push_back(static_cast<uint8_t>((frame.seq & 7) | ((frame.ack & 7) << 3) | (frame.crc ? 0x40 : 0) |
                                       (frame.reliable ? 0x80 : 0)));
    raw.push_back(static_cast<uint8_t>((frame.channel & 0x0F) | ((length & 0x0F) << 4)));
    raw.push_back(static_cast<uint8_t>((length >> 4) & 0xFF));
    raw.push_back(static_cast<uint8_t>(0xFF - ((raw[0] + raw[1] + raw[2]) & 0xFF)));
    raw.insert(raw.end(), frame.payload.begin(), frame.payload.end());
    if (frame.crc) {
        uint16_t crc = FrameCrc(raw);
        raw.push_back(static_cast<uint8_t>(crc >> 8));
        raw.push_back(static_cast<uint8_t>(crc & 0xFF));
    }
    return raw;
}

Bytes SlipWrap(const Bytes& raw) {
    Bytes wire;
    wire.reserve(raw.size() + raw.size() / 32 + 2);
    wire.push_back(0xC0);
    for (uint8_t byte : raw) {
        if (byte == 0xC0) {
            wire.push_back(0xDB);
            wire.push_back(0xDC);
        } else if (byte == 0xDB) {
            wire.push_back(0xDB);
            wire.push_back(0xDD);
        } else {
            wire.push_back(byte);
        }
    }
    wire.push_back(0xC0);
    return wire;
}

const char* FrameErrorName(FrameError error) {
    switch (error) {
        case FrameError::None: return "none";
        case FrameError::TooShort: return "too short";
        case FrameError::HeaderChecksum: return "header checksum";
        case FrameError::Length: return "length";
        case FrameError::Crc: return "crc";
    }
    return "?";
}

std::optional<BcspFrame> DecodeFrame(const Bytes& raw, FrameError& error) {
    error = FrameError::None;
    if (raw.size() < 4) {
        error = FrameError::TooShort;
        return std::nullopt;
    }
    if (((raw[0] + raw[1] + raw[2] + raw[3]) & 0xFF) != 0xFF) {
        error = FrameError::HeaderChecksum;
        return std::nullopt;
    }
    BcspFrame frame;
    frame.seq = raw[0] & 7;
    frame.ack = (raw[0] >> 3) & 7;
    frame.crc = (raw[0] & 0x40) != 0;
    frame.reliable = (raw[0] & 0x80) != 0;
    frame.channel = raw[1] & 0x0F;
    size_t length = static_cast<size_t>(raw[1] >> 4) | (static_cast<size_t>(raw[2]) << 4);
    size_t expected = 4 + length + (frame.crc ? 2 : 0);
    if (raw.size() != expected) {
        error = FrameError::Length;
        return std::nullopt;
    }
    if (frame.crc) {
        Bytes covered(raw.begin(), raw.end() - 2);
        uint16_t crc = FrameCrc(covered);
        if (raw[raw.size() - 2] != (crc >> 8) || raw[raw.size() - 1] != (crc & 0xFF)) {
            error = FrameError::Crc;
            return std::nullopt;
        }
    }
    frame.payload.assign(raw.begin() + 4, raw.begin() + 4 + static_cast<long>(length));
    return frame;
}

std::optional<SlipReader::Result> SlipReader::feed(uint8_t byte) {
    if (byte == 0xC0) {
        std::optional<Result> done;
        if (escape_) broken_ = true;
        if (!current_.empty() || broken_) done = Result{std::move(current_), broken_};
        reset();
        return done;
    }
    if (escape_) {
        escape_ = false;
        if (byte == 0xDC) {
            current_.push_back(0xC0);
        } else if (byte == 0xDD) {
            current_.push_back(0xDB);
        } else {
            broken_ = true;
        }
        return std::nullopt;
    }
    if (byte == 0xDB) {
        escape_ = true;
        return std::nullopt;
    }
    current_.push_back(byte);
    return std::nullopt;
}

void SlipReader::reset() {
    current_.clear();
    escape_ = false;
    broken_ = false;
}

std::string HexBytes(const Bytes& bytes, size_t max) {
    std::string text;
    char item[4];
    for (size_t i = 0; i < bytes.size() && i < max; ++i) {
        std::snprintf(item, sizeof item, i ? " %02X" : "%02X", bytes[i]);
        text += item;
    }
    if (bytes.size() > max) text += " ...";
    return text;
}

}  // namespace sim::bluetooth
