#pragma once
// A rectangle of 32-bit pixels (0x00RRGGBB, the top byte always 0): the one thing everything
// draws into. A window keeps one as its retained image, a memory device context selects one as
// its bitmap, the screen is one. A surface either owns its pixels or is a view over memory
// that someone else owns (a window's pixels in shared memory); copying a surface always gives
// an owning deep copy, so a view never outlives its memory by accident through a copy.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ui/types.h"

namespace ce {

struct Size {
    int cx = 0;
    int cy = 0;
    bool operator==(const Size&) const = default;
};

class Surface {
public:
    Surface() = default;
    // An owning surface, every pixel set to fill. Negative sizes count as 0.
    Surface(int width, int height, uint32_t fill = 0);
    // A view over width x height pixels at `pixels`, rows `stride` pixels apart.
    static Surface wrap(uint32_t* pixels, int width, int height, int stride);

    Surface(const Surface& other);
    Surface& operator=(const Surface& other);
    Surface(Surface&& other) noexcept;
    Surface& operator=(Surface&& other) noexcept;

    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return stride_; }  // in pixels
    bool empty() const { return width_ == 0 || height_ == 0; }
    bool ownsPixels() const { return !owned_.empty() || data_ == nullptr; }
    Rect bounds() const { return Rect{0, 0, width_, height_}; }

    uint32_t* row(int y) { return data_ + static_cast<size_t>(y) * stride_; }
    const uint32_t* row(int y) const { return data_ + static_cast<size_t>(y) * stride_; }
    // Out-of-range reads give 0 and writes are ignored, so probing code cannot overrun.
    uint32_t pixel(int x, int y) const;
    void setPixel(int x, int y, uint32_t value);

    void fill(uint32_t value);
    void fillRect(const Rect& r, uint32_t value);  // clipped to the surface
    // Reallocates an owning surface (contents lost, set to fill); a view cannot be resized.
    bool resize(int width, int height, uint32_t fill = 0);

    bool operator==(const Surface& other) const;  // same size and same pixels

private:
    std::vector<uint32_t> owned_;
    uint32_t* data_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
};

// A bitmap object as the programs hold it (HBITMAP): shared, because a memory device context
// keeps the bitmap it has selected alive while the program also holds it.
using HBITMAP = std::shared_ptr<Surface>;

// Clips r to bounds; the result may be empty (width or height <= 0).
Rect intersectRect(const Rect& a, const Rect& b);
inline bool isRectEmpty(const Rect& r) { return r.right <= r.left || r.bottom <= r.top; }
Rect unionRect(const Rect& a, const Rect& b);  // an empty operand is ignored
inline Rect offsetRect(Rect r, int dx, int dy) { return Rect{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }
inline Rect inflateRect(Rect r, int dx, int dy) { return Rect{r.left - dx, r.top - dy, r.right + dx, r.bottom + dy}; }

}  // namespace ce
