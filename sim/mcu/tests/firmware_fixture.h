#pragma once
// Drives the firmware with frames built here, by hand, the way a host would send them.

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "sim/mcu/mcu_firmware.h"

namespace sim::mcu::testing {

using Bytes = std::vector<uint8_t>;

inline uint8_t sumOf(const Bytes& b, size_t from, size_t to) {
    unsigned s = 0;
    for (size_t i = from; i < to; ++i) s += b[i];
    return static_cast<uint8_t>(0x100 - (s & 0xFF));
}

inline Bytes command(uint8_t code, const Bytes& data = {}) {
    Bytes f = {0x01, static_cast<uint8_t>(data.size() + 1), code};
    f.insert(f.end(), data.begin(), data.end());
    f.push_back(sumOf(f, 1, f.size()));
    f.push_back(0x03);
    return f;
}

inline Bytes dataFrame(const Bytes& data, bool last) {
    Bytes f = {0x02, static_cast<uint8_t>(data.size() & 0xFF)};
    f.insert(f.end(), data.begin(), data.end());
    f.push_back(sumOf(f, 1, f.size()));
    f.push_back(last ? 0x03 : 0x17);
    return f;
}

inline Bytes range(uint32_t start, uint32_t end) {
    return {static_cast<uint8_t>(start >> 16), static_cast<uint8_t>(start >> 8), static_cast<uint8_t>(start),
            static_cast<uint8_t>(end >> 16),   static_cast<uint8_t>(end >> 8),   static_cast<uint8_t>(end)};
}

// The frames a list of actions sends, each checked for STX, length, checksum and ETX.
inline std::vector<Bytes> framesSent(const std::vector<DeviceAction>& actions) {
    std::vector<Bytes> frames;
    for (const auto& a : actions) {
        if (a.kind != DeviceAction::Send) continue;
        const Bytes& f = a.bytes;
        EXPECT_GE(f.size(), 4u);
        EXPECT_EQ(f.front(), 0x02);
        EXPECT_EQ(f.back(), 0x03);
        EXPECT_EQ(f.size(), f[1] + 4u);
        unsigned sum = std::accumulate(f.begin() + 1, f.end() - 1, 0u);
        EXPECT_EQ(sum & 0xFF, 0u) << "checksum of a frame the firmware sent";
        frames.emplace_back(f.begin() + 2, f.end() - 2);
    }
    return frames;
}

class FirmwareTest : public ::testing::Test {
protected:
    void start(McuOptions o = {}, std::vector<uint8_t> contents = {}) {
        options = o;
        if (contents.empty()) contents = McuFlash::oldFirmware(o.flashSize());
        flash = std::make_unique<McuFlash>(std::move(contents));
        firmware = std::make_unique<McuFirmware>(options, *flash, [this](const std::string& l) { log.push_back(l); });
        firmware->enterProgrammingMode(now);
        feed(Bytes{0x00});
        feed(Bytes{0x00});
    }

    std::vector<DeviceAction> feed(const Bytes& bytes) {
        now += 5;
        return firmware->receive(bytes.data(), bytes.size(), now);
    }

    // The data of the frames the device answers with.
    std::vector<Bytes> ask(const Bytes& frame) { return framesSent(feed(frame)); }

    McuOptions options;
    std::unique_ptr<McuFlash> flash;
    std::unique_ptr<McuFirmware> firmware;
    std::vector<std::string> log;
    uint64_t now = 1000;
};

}  // namespace sim::mcu::testing
