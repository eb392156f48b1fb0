#pragma once
// Helpers for tests that look at what was drawn.

#include <algorithm>

#include "platform/gfx/surface.h"

namespace gfxtest {

// The bounding box of every pixel that differs from the background (empty if none).
inline ce::Rect inkBounds(const ce::Surface& s, uint32_t background) {
    ce::Rect r{s.width(), s.height(), 0, 0};
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x)
            if (s.pixel(x, y) != background) {
                r.left = std::min(r.left, x);
                r.top = std::min(r.top, y);
                r.right = std::max(r.right, x + 1);
                r.bottom = std::max(r.bottom, y + 1);
            }
    return ce::isRectEmpty(r) ? ce::Rect{} : r;
}

inline int countPixels(const ce::Surface& s, uint32_t value) {
    int n = 0;
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x) n += s.pixel(x, y) == value;
    return n;
}

}  // namespace gfxtest
