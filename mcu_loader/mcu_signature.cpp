#include "mcu_loader/mcu_signature.h"

namespace mculoader {

namespace {

struct Layout {
    size_t address;     // first of the three address bytes
    size_t name;        // first name byte
    size_t nameLength;
    size_t blockCount;
};

std::optional<Layout> LayoutOf(int chip) {
    if (chip == 0) return Layout{4, 7, 9, 18};
    if (chip == 1) return Layout{3, 6, 10, 16};
    return std::nullopt;
}

}  // namespace

std::optional<McuSignature> ParseSignature(int chip, const uint8_t* data, size_t count) {
    auto layout = LayoutOf(chip);
    if (!layout || count <= layout->blockCount) return std::nullopt;  // the block count is the last field
    auto value = [&](size_t i) { return static_cast<uint8_t>(data[i] & 0x7F); };
    McuSignature s;
    s.vendorCode = value(0);
    s.lastAddress = value(layout->address) | uint32_t{value(layout->address + 1)} << 7 |
                    uint32_t{value(layout->address + 2)} << 14;
    for (size_t i = 0; i < layout->nameLength && value(layout->name + i) != 0; ++i)
        s.deviceName.push_back(value(layout->name + i));
    s.blockCount = value(layout->blockCount);
    return s;
}

}  // namespace mculoader
