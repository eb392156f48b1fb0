#include "panel/images/image_store.h"

#include "platform/gfx/bmp.h"

namespace panel {

CImageStore::CImageStore() : m_Table(MakeImageTable()) {}

CImageStore::~CImageStore() { Destroy(); }

bool CImageStore::LoadAll() {
    if (m_bLoaded) return false;
    for (ImageEntry& entry : m_Table) {
        if (entry.id < 0) break;
        std::string path = std::string(kImageFolder) + entry.fileName;
        if (path.size() > 260) path.resize(260);
        auto bitmap = ce::shLoadDIBitmap(path);
        entry.bitmap = bitmap ? *bitmap : nullptr;
    }
    m_bLoaded = true;
    return true;
}

const ImageEntry* CImageStore::Find(int id) const {
    for (const ImageEntry& entry : m_Table) {
        if (entry.id < 0) return nullptr;
        if (entry.id == id) return &entry;
    }
    return nullptr;
}

const ce::HBITMAP* CImageStore::BitmapOf(int id) const {
    const ImageEntry* entry = Find(id);
    return entry && entry->bitmap ? &entry->bitmap : nullptr;
}

void CImageStore::Copy(ce::Dc& target, const ce::HBITMAP& bitmap, int x, int y, int width, int height, int sx, int sy,
                       uint32_t rop) const {
    if (width <= 0 || height <= 0) return;  // a negative size would mirror the picture
    ce::Dc source = ce::Dc::createCompatibleDC(&target);
    const ce::HBITMAP previous = source.selectObject(bitmap);
    if (m_bKeyed) target.transparentBlt(x, y, width, height, source, sx, sy, width, height, m_KeyColor);
    else target.bitBlt(x, y, width, height, source, sx, sy, rop);
    source.selectObject(previous);
}

void CImageStore::Draw(ce::Dc& target, int id) {
    if (const ImageEntry* entry = Find(id)) Draw(target, id, entry->x, entry->y);
}

void CImageStore::Draw(ce::Dc& target, int id, int x, int y) { Draw(target, id, x, y, ce::SRCCOPY); }

void CImageStore::Draw(ce::Dc& target, int id, int x, int y, uint32_t rop) {
    if (const ce::HBITMAP* bitmap = BitmapOf(id))
        Copy(target, *bitmap, x, y, (*bitmap)->width(), (*bitmap)->height(), 0, 0, rop);
}

void CImageStore::DrawSized(int id, int x, int y, int width, int height) {
    if (!m_pTarget) return;
    if (const ce::HBITMAP* bitmap = BitmapOf(id)) Copy(*m_pTarget, *bitmap, x, y, width, height, 0, 0, ce::SRCCOPY);
}

void CImageStore::DrawPart(ce::Dc& target, int id, int x, int y, int width, int height, int sx, int sy, uint32_t rop) {
    if (const ce::HBITMAP* bitmap = BitmapOf(id)) Copy(target, *bitmap, x, y, width, height, sx, sy, rop);
}

void CImageStore::SetKeyed(bool on, ce::COLORREF key) {
    m_bKeyed = on;
    m_KeyColor = key;
}

bool CImageStore::DrawFrame(ce::Dc& target, int id, int frames, int frame, int x, int y, uint32_t rop) {
    const ImageEntry* entry = Find(id);
    if (!entry || !entry->bitmap) return false;
    if (frames < 1) {
        frames = 1;
        frame = 0;
    }
    const int frameWidth = entry->bitmap->width() / frames;
    if (frame < 0 || frame >= frames) return true;  // no such frame: nothing to copy
    if (x == -1 || y == -1) {
        x = entry->x;
        y = entry->y;
    }
    Copy(target, entry->bitmap, x, y, frameWidth, entry->bitmap->height(), frame * frameWidth, 0, rop);
    return true;
}

void CImageStore::Destroy() {
    if (!m_bLoaded) return;
    for (ImageEntry& entry : m_Table) entry.bitmap.reset();
    m_bLoaded = false;
}

size_t CImageStore::LoadedBytes() const {
    size_t bytes = 0;
    for (const ImageEntry& entry : m_Table)
        if (entry.bitmap) bytes += static_cast<size_t>(entry.bitmap->stride()) * entry.bitmap->height() * 4;
    return bytes;
}

}  // namespace panel
