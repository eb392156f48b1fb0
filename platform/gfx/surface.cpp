#include "platform/gfx/surface.h"

#include <algorithm>
#include <cstring>

namespace ce {

Surface::Surface(int width, int height, uint32_t fill) {
    resize(width, height, fill);
}

Surface Surface::wrap(uint32_t* pixels, int width, int height, int stride) {
    Surface s;
    if (pixels == nullptr || width <= 0 || height <= 0 || stride < width) return s;
    s.data_ = pixels;
    s.width_ = width;
    s.height_ = height;
    s.stride_ = stride;
    return s;
}

Surface::Surface(const Surface& other) {
    *this = other;
}

Surface& Surface::operator=(const Surface& other) {
    if (this == &other) return *this;
    std::vector<uint32_t> copy(static_cast<size_t>(other.width_) * other.height_);
    for (int y = 0; y < other.height_; ++y)
        std::memcpy(copy.data() + static_cast<size_t>(y) * other.width_, other.row(y), other.width_ * sizeof(uint32_t));
    owned_ = std::move(copy);
    data_ = owned_.empty() ? nullptr : owned_.data();
    width_ = other.width_;
    height_ = other.height_;
    stride_ = other.width_;
    return *this;
}

Surface::Surface(Surface&& other) noexcept {
    *this = std::move(other);
}

Surface& Surface::operator=(Surface&& other) noexcept {
    if (this == &other) return *this;
    const bool otherOwns = !other.owned_.empty();
    owned_ = std::move(other.owned_);
    data_ = otherOwns ? owned_.data() : other.data_;
    width_ = other.width_;
    height_ = other.height_;
    stride_ = other.stride_;
    other.owned_.clear();
    other.data_ = nullptr;
    other.width_ = other.height_ = other.stride_ = 0;
    return *this;
}

uint32_t Surface::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return row(y)[x];
}

void Surface::setPixel(int x, int y, uint32_t value) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    row(y)[x] = value & 0x00FFFFFF;
}

void Surface::fill(uint32_t value) {
    fillRect(bounds(), value);
}

void Surface::fillRect(const Rect& r, uint32_t value) {
    const Rect c = intersectRect(r, bounds());
    if (isRectEmpty(c)) return;
    value &= 0x00FFFFFF;
    for (int y = c.top; y < c.bottom; ++y) std::fill(row(y) + c.left, row(y) + c.right, value);
}

bool Surface::resize(int width, int height, uint32_t fill) {
    if (data_ != nullptr && owned_.empty()) return false;  // a view
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == 0 || height == 0) width = height = 0;
    owned_.assign(static_cast<size_t>(width) * height, fill & 0x00FFFFFF);
    data_ = owned_.empty() ? nullptr : owned_.data();
    width_ = width;
    height_ = height;
    stride_ = width;
    return true;
}

bool Surface::operator==(const Surface& other) const {
    if (width_ != other.width_ || height_ != other.height_) return false;
    for (int y = 0; y < height_; ++y)
        if (std::memcmp(row(y), other.row(y), width_ * sizeof(uint32_t)) != 0) return false;
    return true;
}

Rect intersectRect(const Rect& a, const Rect& b) {
    Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (isRectEmpty(r)) return Rect{};
    return r;
}

Rect unionRect(const Rect& a, const Rect& b) {
    if (isRectEmpty(a)) return b;
    if (isRectEmpty(b)) return a;
    return Rect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

}  // namespace ce
