#pragma once
// The installer's pictures, built into the program (installer/art/generate_artwork.cpp draws
// them at build time): bitmap 131, the full-screen background, and icon 128.

#include <cstdint>
#include <span>

#include "platform/gfx/surface.h"

namespace installer {

inline constexpr int kBackgroundWidth = 800;
inline constexpr int kBackgroundHeight = 480;

// The file bytes as embedded: a 4-bit BMP and an ICO with a 32 x 32 and a 16 x 16 image.
std::span<const uint8_t> Bitmap131Bytes();
std::span<const uint8_t> Icon128Bytes();

// Bitmap 131, decoded once and shared (an empty surface if it could not be decoded).
ce::HBITMAP LoadBitmap131();

// The image of icon 128 with the given width (32 or 16), or null when there is none.
ce::HBITMAP LoadIcon128(int width);

}  // namespace installer
