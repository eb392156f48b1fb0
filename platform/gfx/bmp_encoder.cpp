// Writing a surface as a 24-bit BMP file.
#include "platform/gfx/bmp.h"

namespace ce {

std::vector<uint8_t> encodeBmp24(const Surface& surface) {
    const uint32_t width = static_cast<uint32_t>(surface.width());
    const uint32_t height = static_cast<uint32_t>(surface.height());
    const uint32_t stride = (width * 3 + 3) / 4 * 4;
    const uint32_t offset = 14 + 40;
    std::vector<uint8_t> out;
    out.reserve(offset + static_cast<size_t>(stride) * height);
    const auto u16 = [&](uint32_t v) { out.push_back(v & 0xFF); out.push_back((v >> 8) & 0xFF); };
    const auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) out.push_back((v >> (8 * i)) & 0xFF); };
    u16(0x4D42); u32(offset + stride * height); u32(0); u32(offset);
    u32(40); u32(width); u32(height); u16(1); u16(24); u32(0); u32(stride * height);
    u32(2835); u32(2835); u32(0); u32(0);
    for (uint32_t y = height; y-- > 0;) {
        const uint32_t* row = surface.row(static_cast<int>(y));
        for (uint32_t x = 0; x < width; ++x) {
            out.push_back(row[x] & 0xFF);
            out.push_back((row[x] >> 8) & 0xFF);
            out.push_back((row[x] >> 16) & 0xFF);
        }
        out.resize(out.size() + (stride - width * 3), 0);
    }
    return out;
}

}  // namespace ce
