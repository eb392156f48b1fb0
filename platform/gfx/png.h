#pragma once
// PNG files for captures of windows and of the screen, and for the expected images of golden
// tests. Written as 8-bit RGB; any PNG libpng reads (palette, grey, 16-bit, alpha, interlaced)
// is read back as opaque 0x00RRGGBB pixels (alpha is composed over black).

#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/core/error.h"
#include "platform/gfx/surface.h"

namespace ce {

Error writePng(const Surface& surface, const std::filesystem::path& hostFile);
Result<Surface> readPng(const std::filesystem::path& hostFile);
// The same in memory.
Result<std::vector<uint8_t>> encodePng(const Surface& surface);

}  // namespace ce
