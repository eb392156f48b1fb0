// Block transfers of a device context: bitBlt, patBlt, stretchBlt and the colour-keyed copy.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/gfx/dc.h"

namespace ce {
namespace {

constexpr uint32_t kColorBits = 0x00FFFFFF;

enum class Needs { Nothing, Source, Pattern };

// The raster operations the programs use, as functions of destination, source and pattern.
struct RasterOp {
    uint32_t code;
    Needs needs;
    uint32_t (*apply)(uint32_t d, uint32_t s, uint32_t p);
};

constexpr RasterOp kRasterOps[] = {
    {SRCCOPY, Needs::Source, [](uint32_t, uint32_t s, uint32_t) { return s; }},
    {SRCPAINT, Needs::Source, [](uint32_t d, uint32_t s, uint32_t) { return d | s; }},
    {SRCAND, Needs::Source, [](uint32_t d, uint32_t s, uint32_t) { return d & s; }},
    {SRCINVERT, Needs::Source, [](uint32_t d, uint32_t s, uint32_t) { return d ^ s; }},
    {SRCERASE, Needs::Source, [](uint32_t d, uint32_t s, uint32_t) { return s & ~d; }},
    {NOTSRCCOPY, Needs::Source, [](uint32_t, uint32_t s, uint32_t) { return ~s; }},
    {DSTINVERT, Needs::Nothing, [](uint32_t d, uint32_t, uint32_t) { return ~d; }},
    {PATCOPY, Needs::Pattern, [](uint32_t, uint32_t, uint32_t p) { return p; }},
    {PATINVERT, Needs::Pattern, [](uint32_t d, uint32_t, uint32_t p) { return d ^ p; }},
    {BLACKNESS, Needs::Nothing, [](uint32_t, uint32_t, uint32_t) { return 0u; }},
    {WHITENESS, Needs::Nothing, [](uint32_t, uint32_t, uint32_t) { return kColorBits; }},
};

const RasterOp* findRop(uint32_t code) {
    for (const RasterOp& op : kRasterOps)
        if (op.code == code) return &op;
    return nullptr;
}

// Which source pixel each target pixel of a scaled copy takes, along one axis. Target pixel i
// of `count` (after mirroring) takes source pixel floor((i + 0.5) * srcCount / count).
int sourceIndex(int i, int count, int srcCount, bool mirror) {
    const int64_t v = ((2LL * i + 1) * srcCount) / (2LL * count);
    const int idx = static_cast<int>(std::clamp<int64_t>(v, 0, srcCount - 1));
    return mirror ? srcCount - 1 - idx : idx;
}

// A rectangle given as position and a possibly negative size, made positive; returns whether
// it was flipped.
bool normalise(int& pos, int& size) {
    if (size >= 0) return false;
    pos += size;
    size = -size;
    return true;
}

}  // namespace

bool Dc::patBlt(int x, int y, int width, int height, uint32_t rop) {
    const RasterOp* op = findRop(rop);
    if (op == nullptr || op->needs == Needs::Source) return false;
    return bitBlt(x, y, width, height, *this, 0, 0, rop);
}

bool Dc::bitBlt(int x, int y, int width, int height, const Dc& src, int sx, int sy, uint32_t rop) {
    const RasterOp* op = findRop(rop);
    if (op == nullptr || width < 0 || height < 0) return false;
    if (target_ == nullptr) return false;
    if (op->needs == Needs::Pattern && brush_.null) return true;
    const uint32_t pattern = pixelFromColor(brush_.color);

    Rect dst = intersectRect(toSurface(Rect{x, y, x + width, y + height}), surfaceClip());
    int dx = 0, dy = 0;  // offset from a target surface pixel to its source surface pixel
    if (op->needs == Needs::Source) {
        if (src.target_ == nullptr) return false;
        dx = (sx + src.origin_.x) - (x + origin_.x);
        dy = (sy + src.origin_.y) - (y + origin_.y);
        // Only the source's own visible pixels can be read; the rest of the target stays.
        dst = intersectRect(dst, offsetRect(src.surfaceClip(), -dx, -dy));
    }
    if (isRectEmpty(dst)) return true;

    const int w = dst.width();
    if (op->needs == Needs::Source) {
        // Copy the source block first when it lives on the target surface (overlap).
        const bool sameSurface = src.target_ == target_ ||
                                 (src.target_->row(0) == target_->row(0) && src.target_->row(0) != nullptr);
        std::vector<uint32_t> copy;
        if (sameSurface) {
            copy.resize(static_cast<size_t>(w) * dst.height());
            for (int row = dst.top; row < dst.bottom; ++row)
                std::memcpy(&copy[static_cast<size_t>(row - dst.top) * w], src.target_->row(row + dy) + dst.left + dx,
                            w * sizeof(uint32_t));
        }
        for (int row = dst.top; row < dst.bottom; ++row) {
            const uint32_t* s = sameSurface ? &copy[static_cast<size_t>(row - dst.top) * w]
                                            : src.target_->row(row + dy) + dst.left + dx;
            uint32_t* d = target_->row(row) + dst.left;
            if (rop == SRCCOPY) {
                std::memcpy(d, s, w * sizeof(uint32_t));
            } else {
                for (int i = 0; i < w; ++i) d[i] = op->apply(d[i], s[i], pattern) & kColorBits;
            }
        }
    } else {
        for (int row = dst.top; row < dst.bottom; ++row) {
            uint32_t* d = target_->row(row) + dst.left;
            for (int i = 0; i < w; ++i) d[i] = op->apply(d[i], 0, pattern) & kColorBits;
        }
    }
    markDirty(dst);
    return true;
}

namespace {

// The pixel mapping of a scaled copy, computed once per call: for each target column and row
// inside the clip, the source surface column and row (-1 where the source cannot be read).
struct ScaleMap {
    Rect dst;  // clipped target, surface coordinates
    std::vector<int> columns;
    std::vector<int> rows;
};

bool buildScaleMap(const Rect& targetClip, const Rect& sourceReadable, int x, int y, int width, int height, int sx,
                   int sy, int sw, int sh, ScaleMap& map) {
    const bool mirrorX = normalise(x, width) != normalise(sx, sw);
    const bool mirrorY = normalise(y, height) != normalise(sy, sh);
    if (width == 0 || height == 0 || sw == 0 || sh == 0) return false;
    map.dst = intersectRect(Rect{x, y, x + width, y + height}, targetClip);
    if (isRectEmpty(map.dst)) return false;
    map.columns.resize(map.dst.width());
    map.rows.resize(map.dst.height());
    for (int c = map.dst.left; c < map.dst.right; ++c) {
        const int s = sx + sourceIndex(c - x, width, sw, mirrorX);
        map.columns[c - map.dst.left] = (s >= sourceReadable.left && s < sourceReadable.right) ? s : -1;
    }
    for (int r = map.dst.top; r < map.dst.bottom; ++r) {
        const int s = sy + sourceIndex(r - y, height, sh, mirrorY);
        map.rows[r - map.dst.top] = (s >= sourceReadable.top && s < sourceReadable.bottom) ? s : -1;
    }
    return true;
}

}  // namespace

bool Dc::stretchBlt(int x, int y, int width, int height, const Dc& src, int sx, int sy, int sw, int sh, uint32_t rop) {
    const RasterOp* op = findRop(rop);
    if (op == nullptr || target_ == nullptr) return false;
    if (op->needs != Needs::Source) return bitBlt(std::min(x, x + width), std::min(y, y + height), std::abs(width),
                                                  std::abs(height), src, 0, 0, rop);
    if (src.target_ == nullptr) return false;
    if (width == sw && height == sh && width >= 0 && height >= 0) return bitBlt(x, y, width, height, src, sx, sy, rop);
    ScaleMap map;
    if (!buildScaleMap(surfaceClip(), src.surfaceClip(), x + origin_.x, y + origin_.y, width, height,
                       sx + src.origin_.x, sy + src.origin_.y, sw, sh, map))
        return true;
    // Read the whole source block before writing, so copies within one surface are safe.
    const Surface source = src.target_ == target_ ? Surface(*src.target_) : Surface();
    const Surface& from = src.target_ == target_ ? source : *src.target_;
    const uint32_t pattern = pixelFromColor(brush_.color);
    for (size_t r = 0; r < map.rows.size(); ++r) {
        if (map.rows[r] < 0) continue;
        const uint32_t* s = from.row(map.rows[r]);
        uint32_t* d = target_->row(map.dst.top + static_cast<int>(r)) + map.dst.left;
        for (size_t c = 0; c < map.columns.size(); ++c)
            if (map.columns[c] >= 0) d[c] = op->apply(d[c], s[map.columns[c]], pattern) & kColorBits;
    }
    markDirty(map.dst);
    return true;
}

bool Dc::transparentBlt(int x, int y, int width, int height, const Dc& src, int sx, int sy, int sw, int sh,
                        COLORREF transparent) {
    if (target_ == nullptr || src.target_ == nullptr) return false;
    ScaleMap map;
    if (!buildScaleMap(surfaceClip(), src.surfaceClip(), x + origin_.x, y + origin_.y, width, height,
                       sx + src.origin_.x, sy + src.origin_.y, sw, sh, map))
        return true;
    const Surface source = src.target_ == target_ ? Surface(*src.target_) : Surface();
    const Surface& from = src.target_ == target_ ? source : *src.target_;
    const uint32_t key = pixelFromColor(transparent);
    for (size_t r = 0; r < map.rows.size(); ++r) {
        if (map.rows[r] < 0) continue;
        const uint32_t* s = from.row(map.rows[r]);
        uint32_t* d = target_->row(map.dst.top + static_cast<int>(r)) + map.dst.left;
        for (size_t c = 0; c < map.columns.size(); ++c) {
            if (map.columns[c] < 0) continue;
            const uint32_t p = s[map.columns[c]];
            if (p != key) d[c] = p;
        }
    }
    markDirty(map.dst);
    return true;
}

}  // namespace ce
