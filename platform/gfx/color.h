#pragma once
// Colours as the programs give them (COLORREF, 0x00BBGGRR) and as surfaces store them
// (0x00RRGGBB). The programs only ever speak COLORREF; the conversion happens at the point
// where a colour meets pixels, so neither side has to remember which order it holds.

#include <cstdint>

namespace ce {

using COLORREF = uint32_t;

constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr uint8_t GetRValue(COLORREF c) { return static_cast<uint8_t>(c & 0xFF); }
constexpr uint8_t GetGValue(COLORREF c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
constexpr uint8_t GetBValue(COLORREF c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }

// A surface pixel (0x00RRGGBB) for a colour reference, and back.
constexpr uint32_t pixelFromColor(COLORREF c) {
    return (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}
constexpr COLORREF colorFromPixel(uint32_t p) {
    return RGB(static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p));
}

}  // namespace ce
