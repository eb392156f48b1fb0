#pragma once
// Test helpers: a serial line in memory for the BCSP link, and BCSP frames built by hand
// (bitwise CRC, written here from the frame layout, not taken from the code under test).

#include <cstdint>
#include <deque>
#include <vector>

#include "updater/bluetooth/bcsp_port.h"

namespace bluetooth::testing {

using Bytes = std::vector<uint8_t>;

class MemoryPort : public BcspPort {
public:
    bool readyToSend() override { return ready; }
    bool transmitterEmpty() override { return empty; }
    void writeByte(uint8_t byte) override {
        written.push_back(byte);
        ++writeCalls;
    }
    uint32_t read(uint8_t* buffer, uint32_t size) override {
        ++readCalls;
        largestReadRequest = std::max(largestReadRequest, size);
        uint32_t n = 0;
        while (n < size && !incoming.empty()) {
            buffer[n++] = incoming.front();
            incoming.pop_front();
        }
        return n;
    }
    void deliver(const Bytes& bytes) { incoming.insert(incoming.end(), bytes.begin(), bytes.end()); }

    bool ready = true;
    bool empty = true;
    Bytes written;
    std::deque<uint8_t> incoming;
    int writeCalls = 0;
    int readCalls = 0;
    uint32_t largestReadRequest = 0;
};

// CRC-16 reflected (0x8408) from 0xFFFF, bit by bit, then bit-reversed.
inline uint16_t referenceCrc(const Bytes& data) {
    uint16_t reg = 0xFFFF;
    for (uint8_t byte : data) {
        reg ^= byte;
        for (int i = 0; i < 8; ++i) reg = (reg & 1) ? static_cast<uint16_t>((reg >> 1) ^ 0x8408) : static_cast<uint16_t>(reg >> 1);
    }
    uint16_t out = 0;
    for (int i = 0; i < 16; ++i)
        if (reg & (1 << i)) out |= static_cast<uint16_t>(1 << (15 - i));
    return out;
}

inline Bytes slip(const Bytes& raw) {
    Bytes out{0xC0};
    for (uint8_t b : raw) {
        if (b == 0xC0) {
            out.push_back(0xDB);
            out.push_back(0xDC);
        } else if (b == 0xDB) {
            out.push_back(0xDB);
            out.push_back(0xDD);
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0xC0);
    return out;
}

// Header + payload + CRC, unescaped. lengthField overrides the header's length when >= 0.
inline Bytes rawFrame(bool reliable, uint8_t seq, uint8_t ack, uint8_t channel, const Bytes& payload,
                      int lengthField = -1) {
    size_t length = lengthField >= 0 ? static_cast<size_t>(lengthField) : payload.size();
    Bytes raw;
    raw.push_back(static_cast<uint8_t>((reliable ? 0x80 : 0) | 0x40 | ((ack & 7) << 3) | (seq & 7)));
    raw.push_back(static_cast<uint8_t>((channel & 0x0F) | ((length & 0x0F) << 4)));
    raw.push_back(static_cast<uint8_t>(length >> 4));
    raw.push_back(static_cast<uint8_t>(~(raw[0] + raw[1] + raw[2])));
    raw.insert(raw.end(), payload.begin(), payload.end());
    uint16_t crc = referenceCrc(raw);
    raw.push_back(static_cast<uint8_t>(crc >> 8));
    raw.push_back(static_cast<uint8_t>(crc));
    return raw;
}

inline Bytes frame(bool reliable, uint8_t seq, uint8_t ack, uint8_t channel, const Bytes& payload) {
    return slip(rawFrame(reliable, seq, ack, channel, payload));
}

inline const Bytes kSync = {0xDA, 0xDC, 0xED, 0xED};
inline const Bytes kSyncResp = {0xAC, 0xAF, 0xEF, 0xEE};
inline const Bytes kConf = {0xAD, 0xEF, 0xAC, 0xED};
inline const Bytes kConfResp = {0xDE, 0xAD, 0xD0, 0xD0};

inline Bytes linkMessage(const Bytes& payload) { return frame(false, 0, 0, 1, payload); }

// Splits a byte stream at 0xC0 into the frames it holds (each with its two 0xC0).
inline std::vector<Bytes> framesOf(const Bytes& wire) {
    std::vector<Bytes> frames;
    Bytes body;
    for (uint8_t b : wire) {
        if (b != 0xC0) {
            body.push_back(b);
            continue;
        }
        if (!body.empty()) {
            Bytes whole{0xC0};
            whole.insert(whole.end(), body.begin(), body.end());
            whole.push_back(0xC0);
            frames.push_back(whole);
            body.clear();
        }
    }
    return frames;
}

}  // namespace bluetooth::testing
