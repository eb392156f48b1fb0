// Feeds arbitrary bytes to the BMP decoder: it must refuse or decode, never read out of bounds.
#include <cstddef>
#include <cstdint>

#include "platform/gfx/bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto surface = ce::decodeBmp(std::span<const uint8_t>(data, size));
    if (surface) {
        // Touch every pixel so that a wrong size would show up under the sanitizers.
        uint32_t sum = 0;
        for (int y = 0; y < surface->height(); ++y)
            for (int x = 0; x < surface->width(); ++x) sum += surface->row(y)[x];
        if (sum == 0xFFFFFFFF) return 0;
    }
    return 0;
}
