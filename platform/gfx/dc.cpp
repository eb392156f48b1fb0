#include "platform/gfx/dc.h"

#include <algorithm>
#include <cstdlib>

namespace ce {

Dc::Dc(Surface& target, Point origin, std::optional<Rect> clip)
    : target_(&target), origin_(origin), clip_(intersectRect(clip.value_or(target.bounds()), target.bounds())) {}

Dc Dc::createCompatibleDC(const Dc*) {
    Dc dc;
    dc.memory_ = true;
    dc.bitmap_ = std::make_shared<Surface>(1, 1, 0);
    dc.target_ = dc.bitmap_.get();
    dc.clip_ = dc.target_->bounds();
    return dc;
}

Dc::Dc(Dc&& other) noexcept {
    *this = std::move(other);
}

Dc& Dc::operator=(Dc&& other) noexcept {
    if (this == &other) return *this;
    if (releaseHook_) releaseHook_(dirty_);
    target_ = other.target_;
    bitmap_ = std::move(other.bitmap_);
    memory_ = other.memory_;
    origin_ = other.origin_;
    clip_ = other.clip_;
    font_ = std::move(other.font_);
    brush_ = other.brush_;
    pen_ = other.pen_;
    position_ = other.position_;
    textColor_ = other.textColor_;
    bkColor_ = other.bkColor_;
    bkMode_ = other.bkMode_;
    dirty_ = other.dirty_;
    releaseHook_ = std::move(other.releaseHook_);
    other.releaseHook_ = nullptr;
    other.target_ = nullptr;
    other.memory_ = false;
    other.dirty_ = Rect{};
    return *this;
}

Dc::~Dc() {
    if (releaseHook_) releaseHook_(dirty_);
}

HBITMAP Dc::selectObject(HBITMAP bitmap) {
    if (!memory_ || !bitmap) return nullptr;
    HBITMAP previous = std::move(bitmap_);
    bitmap_ = std::move(bitmap);
    target_ = bitmap_.get();
    origin_ = Point{};
    clip_ = target_->bounds();
    return previous;
}

HFONT Dc::selectObject(HFONT font) {
    if (!font) return nullptr;
    HFONT previous = currentFont();
    font_ = std::move(font);
    return previous;
}

Brush Dc::selectObject(Brush brush) {
    return std::exchange(brush_, brush);
}

Pen Dc::selectObject(Pen pen) {
    return std::exchange(pen_, pen);
}

HFONT Dc::currentFont() const {
    return font_ ? font_ : systemFont();
}

COLORREF Dc::setTextColor(COLORREF color) {
    return std::exchange(textColor_, color & 0x00FFFFFF);
}

COLORREF Dc::setBkColor(COLORREF color) {
    return std::exchange(bkColor_, color & 0x00FFFFFF);
}

int Dc::setBkMode(int mode) {
    if (mode != TRANSPARENT && mode != OPAQUE) return 0;
    return std::exchange(bkMode_, mode);
}

Rect Dc::surfaceClip() const {
    if (target_ == nullptr) return Rect{};
    return intersectRect(clip_, target_->bounds());
}

Rect Dc::getClipBox() const {
    const Rect c = surfaceClip();
    if (isRectEmpty(c)) return Rect{};
    return offsetRect(c, -origin_.x, -origin_.y);
}

void Dc::intersectClipRect(const Rect& logical) {
    clip_ = intersectRect(clip_, toSurface(logical));
}

void Dc::markDirty(const Rect& surfaceRect) {
    dirty_ = unionRect(dirty_, surfaceRect);
}

bool Dc::fillRect(const Rect& rect, const Brush& brush) {
    if (target_ == nullptr) return false;
    if (brush.null) return true;
    const Rect r = intersectRect(toSurface(rect), surfaceClip());
    if (isRectEmpty(r)) return true;
    target_->fillRect(r, pixelFromColor(brush.color));
    markDirty(r);
    return true;
}

COLORREF Dc::getPixel(int x, int y) const {
    const Point p{x + origin_.x, y + origin_.y};
    if (!surfaceClip().contains(p)) return CLR_INVALID;
    return colorFromPixel(target_->pixel(p.x, p.y));
}

COLORREF Dc::setPixel(int x, int y, COLORREF color) {
    const Point p{x + origin_.x, y + origin_.y};
    if (!surfaceClip().contains(p)) return CLR_INVALID;
    target_->setPixel(p.x, p.y, pixelFromColor(color));
    markDirty(Rect{p.x, p.y, p.x + 1, p.y + 1});
    return color & 0x00FFFFFF;
}

void Dc::drawHLine(int x0, int x1, int y, uint32_t pixel) {
    const Rect r = intersectRect(Rect{x0, y, x1, y + 1}, surfaceClip());
    if (isRectEmpty(r)) return;
    target_->fillRect(r, pixel);
    markDirty(r);
}

void Dc::plotPen(int x, int y, uint32_t pixel) {
    const int w = std::max(pen_.width, 1);
    const int sx = x + origin_.x - (w - 1) / 2;
    const int sy = y + origin_.y - (w - 1) / 2;
    for (int row = 0; row < w; ++row) drawHLine(sx, sx + w, sy + row, pixel);
}

Point Dc::moveTo(int x, int y) {
    return std::exchange(position_, Point{x, y});
}

bool Dc::lineTo(int x, int y) {
    if (target_ == nullptr) return false;
    const Point from = std::exchange(position_, Point{x, y});
    if (pen_.style == PS_NULL) return true;
    const uint32_t pixel = pixelFromColor(pen_.color);
    // Bresenham, every point of the line but the last.
    int cx = from.x, cy = from.y;
    const int dx = std::abs(x - cx), sx = cx < x ? 1 : -1;
    const int dy = -std::abs(y - cy), sy = cy < y ? 1 : -1;
    int err = dx + dy;
    while (cx != x || cy != y) {
        plotPen(cx, cy, pixel);
        const int e2 = 2 * err;
        if (e2 >= dy) { err += dy; cx += sx; }
        if (e2 <= dx) { err += dx; cy += sy; }
    }
    return true;
}

bool Dc::rectangle(int left, int top, int right, int bottom) {
    if (target_ == nullptr) return false;
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    if (pen_.style == PS_NULL) return fillRect(Rect{left, top, right, bottom}, brush_);
    const int w = std::max(pen_.width, 1);
    fillRect(Rect{left + w, top + w, right - w, bottom - w}, brush_);
    const Brush edge = createSolidBrush(pen_.color);
    fillRect(Rect{left, top, right, std::min(top + w, bottom)}, edge);
    fillRect(Rect{left, std::max(bottom - w, top), right, bottom}, edge);
    fillRect(Rect{left, top, std::min(left + w, right), bottom}, edge);
    fillRect(Rect{std::max(right - w, left), top, right, bottom}, edge);
    return true;
}

HBITMAP createCompatibleBitmap(const Dc&, int width, int height) {
    if (width <= 0 || height <= 0) return nullptr;
    return std::make_shared<Surface>(width, height, 0);
}

}  // namespace ce
