#pragma once
// Device contexts: the drawing state (font, brush, pen, colours, background mode) bound to a
// target surface with an origin and a clip rectangle.
//
// One class serves every kind of context the programs use:
//   - a window or client context: the window system builds it over the window's surface with
//     the window's position as origin and its visible area as clip, so a child control draws
//     into its parent's surface (or its own) without knowing which;
//   - a memory context (createCompatibleDC): draws into whatever bitmap is selected into it,
//     a 1 x 1 black bitmap until the program selects its own;
//   - the screen context: over the screen's surface.
// Coordinates given to a context are logical (0, 0 = the origin); every operation is clipped
// to the clip rectangle and to the target surface, so nothing a program passes can write
// outside the pixels it was given. Operations on a context without a target do nothing.
//
// Raster operations work on the 24 colour bits of 0x00RRGGBB pixels. stretchBlt and
// transparentBlt scale by nearest neighbour (each target pixel takes the source pixel under
// its centre): no blending, so a colour key stays exact after scaling.

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/gfx/color.h"
#include "platform/gfx/font.h"
#include "platform/gfx/surface.h"
#include "platform/ui/types.h"

namespace ce {

// Raster operations (ternary ROP codes as the programs pass them).
enum : uint32_t {
    SRCCOPY = 0x00CC0020,
    SRCPAINT = 0x00EE0086,
    SRCAND = 0x008800C6,
    SRCINVERT = 0x00660046,
    SRCERASE = 0x00440328,
    NOTSRCCOPY = 0x00330008,
    DSTINVERT = 0x00550009,
    PATCOPY = 0x00F00021,
    PATINVERT = 0x005A0049,
    BLACKNESS = 0x00000042,
    WHITENESS = 0x00FF0062,
};

// Background modes.
enum : int { TRANSPARENT = 1, OPAQUE = 2 };

// Pen styles.
enum : int { PS_SOLID = 0, PS_NULL = 5 };

// A solid brush, or the null brush that paints nothing (CreateSolidBrush, NULL_BRUSH).
struct Brush {
    COLORREF color = RGB(255, 255, 255);
    bool null = false;
    bool operator==(const Brush&) const = default;
};
inline Brush createSolidBrush(COLORREF color) { return Brush{color, false}; }
inline Brush nullBrush() { return Brush{0, true}; }

// A pen for lines and rectangle outlines (CreatePen); width below 1 draws 1 pixel wide.
struct Pen {
    int style = PS_SOLID;
    int width = 1;
    COLORREF color = RGB(0, 0, 0);
    bool operator==(const Pen&) const = default;
};
inline Pen createPen(int style, int width, COLORREF color) { return Pen{style, width, color}; }

class Dc {
public:
    // A context without a target: every drawing call does nothing.
    Dc() = default;
    // A context over a surface: logical (0, 0) lies at `origin` on the surface and drawing is
    // limited to `clip`, given in surface coordinates (cut to the surface).
    explicit Dc(Surface& target, Point origin = {}, std::optional<Rect> clip = std::nullopt);
    // CreateCompatibleDC: a memory context holding a 1 x 1 black bitmap. Every context of this
    // system has the same pixel format, so the reference only documents the caller's intent.
    static Dc createCompatibleDC(const Dc* reference = nullptr);

    Dc(Dc&& other) noexcept;
    Dc& operator=(Dc&& other) noexcept;
    Dc(const Dc&) = delete;
    Dc& operator=(const Dc&) = delete;
    ~Dc();  // runs the release hook, if any

    // ---- Selected objects and state ----------------------------------------------------
    // Selecting a bitmap works on memory contexts only (others return nullptr and keep their
    // target); it returns the previous bitmap. A bitmap may be selected into several contexts.
    HBITMAP selectObject(HBITMAP bitmap);
    HFONT selectObject(HFONT font);  // nullptr is refused (returns nullptr, nothing changes)
    Brush selectObject(Brush brush);
    Pen selectObject(Pen pen);
    HBITMAP currentBitmap() const { return bitmap_; }
    HFONT currentFont() const;  // the system font until the program selects one
    const Brush& currentBrush() const { return brush_; }
    const Pen& currentPen() const { return pen_; }

    COLORREF setTextColor(COLORREF color);  // each returns the previous value
    COLORREF getTextColor() const { return textColor_; }
    COLORREF setBkColor(COLORREF color);
    COLORREF getBkColor() const { return bkColor_; }
    int setBkMode(int mode);  // TRANSPARENT or OPAQUE; anything else is refused (returns 0)
    int getBkMode() const { return bkMode_; }

    // The visible part of the target in logical coordinates (GetClipBox).
    Rect getClipBox() const;
    // Narrows the clip further (IntersectClipRect, logical coordinates).
    void intersectClipRect(const Rect& logical);
    bool hasTarget() const { return target_ != nullptr; }
    Surface* target() const { return target_; }
    Point origin() const { return origin_; }

    // What has been drawn so far, in surface coordinates (empty if nothing), and a function
    // the context calls with it when it is destroyed (ReleaseDC, EndPaint): the window system
    // uses it to publish the changed pixels.
    Rect dirtyRect() const { return dirty_; }
    void setReleaseHook(std::function<void(const Rect& dirtyOnSurface)> hook) { releaseHook_ = std::move(hook); }

    // ---- Pixels --------------------------------------------------------------------------
    // Copies a width x height block from src (at sx, sy) to x, y with a raster operation.
    // Overlapping copies within one surface work as if through a temporary copy. A rop that
    // needs no source (BLACKNESS, WHITENESS, PATCOPY, PATINVERT, DSTINVERT) ignores src.
    // Returns false for an unknown rop or a negative size.
    bool bitBlt(int x, int y, int width, int height, const Dc& src, int sx, int sy, uint32_t rop);
    // A raster operation that uses only the brush and the target.
    bool patBlt(int x, int y, int width, int height, uint32_t rop);
    // Scales the source block onto the target block (nearest neighbour). A negative width
    // or height on one side mirrors the image along that axis.
    bool stretchBlt(int x, int y, int width, int height, const Dc& src, int sx, int sy, int sw, int sh,
                    uint32_t rop);
    // Colour-keyed copy (TransparentImage / TransparentBlt): scales like stretchBlt and leaves
    // the target untouched where the source pixel equals the key colour exactly.
    bool transparentBlt(int x, int y, int width, int height, const Dc& src, int sx, int sy, int sw, int sh,
                        COLORREF transparent);
    // Fills with a brush (FillRect): the rectangle's right and bottom edges are excluded.
    bool fillRect(const Rect& rect, const Brush& brush);
    COLORREF getPixel(int x, int y) const;  // CLR_INVALID outside the clip
    COLORREF setPixel(int x, int y, COLORREF color);

    // ---- Lines ---------------------------------------------------------------------------
    Point moveTo(int x, int y);  // returns the previous position
    bool lineTo(int x, int y);   // draws with the pen, excluding the end point, and moves there
    // Outline with the pen, inside filled with the brush (the null brush leaves it empty).
    bool rectangle(int left, int top, int right, int bottom);

private:
    friend class TextPainter;
    void markDirty(const Rect& surfaceRect);
    Rect surfaceClip() const;  // the clip in surface coordinates, cut to the surface
    Rect toSurface(const Rect& logical) const { return offsetRect(logical, origin_.x, origin_.y); }
    void drawHLine(int x0, int x1, int y, uint32_t pixel);  // surface coordinates, clipped
    void plotPen(int x, int y, uint32_t pixel);             // logical, pen width square

    Surface* target_ = nullptr;
    HBITMAP bitmap_;  // the selected bitmap of a memory context
    bool memory_ = false;
    Point origin_{};
    Rect clip_{};  // surface coordinates
    HFONT font_;
    Brush brush_{};
    Pen pen_{};
    Point position_{};
    COLORREF textColor_ = RGB(0, 0, 0);
    COLORREF bkColor_ = RGB(255, 255, 255);
    int bkMode_ = OPAQUE;
    Rect dirty_{};
    std::function<void(const Rect&)> releaseHook_;
};

inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// A bitmap of the given size for a context (CreateCompatibleBitmap), black.
HBITMAP createCompatibleBitmap(const Dc& reference, int width, int height);

}  // namespace ce
