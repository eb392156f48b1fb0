#include "panel/images/draw_surface.h"

namespace panel {

bool DrawSurface::Create(const ce::Dc& reference, int width, int height) {
    if (m_bCreated) return false;
    m_MemDC = ce::Dc::createCompatibleDC(&reference);
    m_Bitmap = ce::createCompatibleBitmap(reference, width, height);
    m_OldBitmap = m_MemDC.selectObject(m_Bitmap);
    m_bCreated = true;
    return true;
}

void DrawSurface::Destroy() {
    if (!m_bCreated) return;
    m_MemDC.selectObject(m_OldBitmap);
    m_Bitmap.reset();
    m_MemDC = ce::Dc();
    m_bCreated = false;
}

void DrawSurface::CopyTo(ce::Dc& target, int x, int y, int width, int height) {
    target.bitBlt(x, y, width, height, m_MemDC, 0, 0, ce::SRCCOPY);
}

void DrawSurface::CopyFrom(const ce::Dc& source, int x, int y, int width, int height) {
    m_MemDC.bitBlt(0, 0, width, height, source, x, y, ce::SRCCOPY);
}

DrawSurface& BackBuffer() {
    static DrawSurface backBuffer;
    return backBuffer;
}

}  // namespace panel
