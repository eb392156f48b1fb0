#include "installer/dialog/artwork.h"

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/gfx/bmp.h"

namespace installer {

namespace artwork {
extern const unsigned char kBitmap131[];
extern const std::size_t kBitmap131Size;
extern const unsigned char kIcon128[];
extern const std::size_t kIcon128Size;
}  // namespace artwork

std::span<const uint8_t> Bitmap131Bytes() { return {artwork::kBitmap131, artwork::kBitmap131Size}; }
std::span<const uint8_t> Icon128Bytes() { return {artwork::kIcon128, artwork::kIcon128Size}; }

ce::HBITMAP LoadBitmap131() {
    static const ce::HBITMAP bitmap = [] {
        auto decoded = ce::decodeBmp(Bitmap131Bytes());
        return std::make_shared<ce::Surface>(decoded ? std::move(decoded).value() : ce::Surface());
    }();
    return bitmap;
}

namespace {

uint32_t read32(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

void write32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

ce::HBITMAP LoadIcon128(int width) {
    // An icon image is a DIB whose header counts the colour rows and the mask rows together;
    // as a BMP file with the height halved the decoder reads the colour rows alone.
    const auto ico = Icon128Bytes();
    const size_t count = static_cast<size_t>(ico[4] | ico[5] << 8);
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = 6 + 16 * i;
        if (ico[entry] != width) continue;
        const uint32_t size = read32(ico, entry + 8);
        const uint32_t offset = read32(ico, entry + 12);
        if (offset + size > ico.size() || size < 40) return nullptr;
        const uint32_t colours = read32(ico, offset + 32) ? read32(ico, offset + 32) : 16;
        std::vector<uint8_t> file(14, 0);
        file[0] = 'B';
        file[1] = 'M';
        write32(file, 2, 14 + size);
        write32(file, 10, 14 + 40 + colours * 4);
        file.insert(file.end(), ico.begin() + offset, ico.begin() + offset + size);
        write32(file, 14 + 8, read32(ico, offset + 8) / 2);
        auto decoded = ce::decodeBmp(file);
        if (!decoded) return nullptr;
        return std::make_shared<ce::Surface>(std::move(decoded).value());
    }
    return nullptr;
}

}  // namespace installer
