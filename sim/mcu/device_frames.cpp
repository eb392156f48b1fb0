#include "sim/mcu/device_frames.h"

#include <bitset>

#include "sim/mcu/boot_protocol.h"
#include "sim/mcu/mcu_options.h"

namespace sim::mcu {

std::vector<uint8_t> deviceFrame(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> frame;
    frame.reserve(data.size() + 4);
    frame.push_back(kSTX);
    frame.push_back(static_cast<uint8_t>(data.size()));
    unsigned sum = static_cast<uint8_t>(data.size());
    for (uint8_t b : data) {
        frame.push_back(b);
        sum += b;
    }
    frame.push_back(static_cast<uint8_t>(0x100 - (sum & 0xFF)));
    frame.push_back(kETX);
    return frame;
}

uint8_t withOddParity(uint8_t sevenBits) {
    uint8_t v = sevenBits & 0x7F;
    return std::bitset<8>(v).count() % 2 == 0 ? static_cast<uint8_t>(v | 0x80) : v;
}

std::vector<uint8_t> signatureData(const McuOptions& o) {
    std::vector<uint8_t> d;
    auto put = [&](uint32_t v) { d.push_back(withOddParity(static_cast<uint8_t>(v))); };
    auto putAddress = [&] {
        put(o.lastAddress & 0x7F);
        put((o.lastAddress >> 7) & 0x7F);
        put((o.lastAddress >> 14) & 0x7F);
    };
    auto putName = [&] {
        std::string name = o.deviceName;
        name.resize(10, ' ');
        for (char c : name) put(static_cast<uint8_t>(c));
    };
    put(o.vendorCode);
    if (o.chip == 0) {
        put(0x7F);
        put(0x04);
        put(0x31);
        putAddress();
        putName();
        put(0x00);
        put(o.blockCount);
    } else {
        put(0x7F);
        put(0x05);
        putAddress();
        putName();
        put(o.blockCount);
    }
    put(0x01);  // firmware version 1.0.3
    put(0x00);
    put(0x03);
    return d;
}

}  // namespace sim::mcu
