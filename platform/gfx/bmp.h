#pragma once
// BMP files (device-independent bitmaps) decoded into surfaces.
//
// Accepted: the 40-byte BITMAPINFOHEADER and its 52- and 56-byte extensions, the V4 (108) and
// V5 (124) headers and the old 12-byte core header; 1, 4 and 8 bits per pixel with a palette,
// 16 bits as 5-5-5 or with bit-field masks (5-6-5 and others), 24 bits, 32 bits plain or with
// bit-field masks (alpha is dropped: surfaces are opaque); rows bottom-up (positive height)
// or top-down (negative height); run-length encoded 8- and 4-bit images (RLE8, RLE4), which
// common tools write by default for palette images.
//
// The decoder trusts nothing in the file: every size, offset and count is checked against the
// bytes actually present before it is used, so a malformed or truncated file is refused with
// an error and never read past its end. Errors: ERROR_INVALID_DATA (not a BMP, inconsistent
// headers, truncated pixel data), ERROR_NOT_SUPPORTED (JPEG or PNG inside a BMP),
// ERROR_NOT_ENOUGH_MEMORY (dimensions beyond kMaxBmpPixels), and the file errors of opening.
// Run-length images are also refused (ERROR_INVALID_DATA) when their runs are far too few for
// their size (more than 1 M pixels and over 256 pixels per byte of runs), so that a small
// file never makes the decoder allocate a large picture.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "platform/core/error.h"
#include "platform/gfx/surface.h"

namespace ce {

// Largest image accepted (width x height, 4096 x 4096): far above any bitmap of the head
// unit, and small enough that a few bytes of run-length data cannot demand gigabytes.
inline constexpr int64_t kMaxBmpPixels = 16LL * 1024 * 1024;

Result<Surface> decodeBmp(std::span<const uint8_t> bytes);
Result<Surface> loadBmpFile(const std::filesystem::path& hostFile);

// A 24-bit bottom-up BMP file of the surface (the simplest form every reader takes), for
// tools and tests that make bitmaps.
std::vector<uint8_t> encodeBmp24(const Surface& surface);

// SHLoadDIBitmap: a bitmap object from a device path ("\NAND Flash\ZEK\Kelo_ZEK_IMG\x.bmp").
Result<HBITMAP> shLoadDIBitmap(std::string_view devicePath);

}  // namespace ce
