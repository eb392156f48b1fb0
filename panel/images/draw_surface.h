#pragma once
// Off-screen drawing surfaces: a memory context with a bitmap of its own. The panel composes
// a whole window in the one shared BackBuffer (800 x 480) and each text cell in a small
// temporary surface, so that what reaches the screen is always a finished picture.

#include "platform/gfx/dc.h"

namespace panel {

class DrawSurface {
public:
    DrawSurface() = default;
    ~DrawSurface() { Destroy(); }
    DrawSurface(const DrawSurface&) = delete;
    DrawSurface& operator=(const DrawSurface&) = delete;

    // False (nothing changed) when created already.
    bool Create(const ce::Dc& reference, int width, int height);
    void Destroy();
    bool IsCreated() const { return m_bCreated; }

    ce::Dc& dc() { return m_MemDC; }
    int width() const { return m_Bitmap ? m_Bitmap->width() : 0; }
    int height() const { return m_Bitmap ? m_Bitmap->height() : 0; }

    // SRCCOPY of width x height pixels: from this surface's 0, 0 to x, y of target, and from
    // x, y of source to this surface's 0, 0.
    void CopyTo(ce::Dc& target, int x, int y, int width, int height);
    void CopyFrom(const ce::Dc& source, int x, int y, int width, int height);

private:
    ce::Dc m_MemDC;
    ce::HBITMAP m_Bitmap;
    ce::HBITMAP m_OldBitmap;
    bool m_bCreated = false;
};

inline constexpr int kBackBufferWidth = 800;
inline constexpr int kBackBufferHeight = 480;

// The program's one shared 800 x 480 surface, created the first time a panel layout is set.
DrawSurface& BackBuffer();

}  // namespace panel
