// PNG through libpng's simplified interface: it handles every colour type, depth and interlace
// on reading and reports failures as a flag instead of a longjmp into our code.
#include "platform/gfx/png.h"

#include <png.h>

#include <cstring>

namespace ce {
namespace {

std::vector<uint8_t> toRgb(const Surface& s) {
    std::vector<uint8_t> rgb(static_cast<size_t>(s.width()) * s.height() * 3);
    uint8_t* out = rgb.data();
    for (int y = 0; y < s.height(); ++y) {
        const uint32_t* row = s.row(y);
        for (int x = 0; x < s.width(); ++x) {
            *out++ = static_cast<uint8_t>(row[x] >> 16);
            *out++ = static_cast<uint8_t>(row[x] >> 8);
            *out++ = static_cast<uint8_t>(row[x]);
        }
    }
    return rgb;
}

png_image imageFor(const Surface& s) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(s.width());
    image.height = static_cast<png_uint_32>(s.height());
    image.format = PNG_FORMAT_RGB;
    return image;
}

}  // namespace

Error writePng(const Surface& surface, const std::filesystem::path& hostFile) {
    if (surface.empty()) return ERROR_INVALID_PARAMETER;
    std::error_code ec;
    const auto parent = hostFile.parent_path();
    if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) return ERROR_PATH_NOT_FOUND;
    const std::vector<uint8_t> rgb = toRgb(surface);
    png_image image = imageFor(surface);
    const int ok = png_image_write_to_file(&image, hostFile.c_str(), 0, rgb.data(), 0, nullptr);
    png_image_free(&image);
    return ok ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

Result<std::vector<uint8_t>> encodePng(const Surface& surface) {
    if (surface.empty()) return fail(ERROR_INVALID_PARAMETER);
    const std::vector<uint8_t> rgb = toRgb(surface);
    png_image image = imageFor(surface);
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return fail(ERROR_WRITE_FAULT);
    }
    std::vector<uint8_t> out(size);
    const int ok = png_image_write_to_memory(&image, out.data(), &size, 0, rgb.data(), 0, nullptr);
    png_image_free(&image);
    if (!ok) return fail(ERROR_WRITE_FAULT);
    out.resize(size);
    return out;
}

Result<Surface> readPng(const std::filesystem::path& hostFile) {
    std::error_code ec;
    if (!std::filesystem::exists(hostFile, ec)) return fail(ERROR_FILE_NOT_FOUND);
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, hostFile.c_str())) return fail(ERROR_INVALID_DATA);
    image.format = PNG_FORMAT_RGBA;
    if (static_cast<uint64_t>(image.width) * image.height > 64ULL * 1024 * 1024) {
        png_image_free(&image);
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return fail(ERROR_INVALID_DATA);
    }
    Surface out(static_cast<int>(image.width), static_cast<int>(image.height));
    const uint8_t* p = rgba.data();
    for (int y = 0; y < out.height(); ++y) {
        uint32_t* row = out.row(y);
        for (int x = 0; x < out.width(); ++x, p += 4) {
            const uint32_t a = p[3];  // composed over black
            row[x] = ((p[0] * a + 127) / 255 << 16) | ((p[1] * a + 127) / 255 << 8) | ((p[2] * a + 127) / 255);
        }
    }
    png_image_free(&image);
    return out;
}

}  // namespace ce
