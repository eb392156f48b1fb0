#pragma once
// CImageStore: every bitmap of the image table, decoded once at start and drawn by id.
//
// Each draw makes a short-lived memory context for the bitmap and copies it to the target:
// opaquely with a raster operation, or, while keyed drawing is on, colour-keyed (the key
// colour stays transparent; the raster operation is then not used). Keyed drawing is state
// of the store: a caller that switches it on switches it off again after its draw. An id the
// table does not hold, or whose file was missing or unreadable, draws nothing.

#include <cstdint>
#include <vector>

#include "panel/images/image_table.h"
#include "platform/gfx/dc.h"

namespace panel {

class CImageStore {
public:
    CImageStore();
    virtual ~CImageStore();
    CImageStore(const CImageStore&) = delete;
    CImageStore& operator=(const CImageStore&) = delete;

    // Loads every file of the table from kImageFolder. False (nothing done) when loaded already.
    bool LoadAll();
    bool IsLoaded() const { return m_bLoaded; }
    // The entry of an id, or nullptr when the end marker comes first.
    const ImageEntry* Find(int id) const;

    // The whole bitmap at the entry's default position, at x, y, or at x, y with a raster op.
    virtual void Draw(ce::Dc& target, int id);
    virtual void Draw(ce::Dc& target, int id, int x, int y);
    virtual void Draw(ce::Dc& target, int id, int x, int y, uint32_t rop);
    // A width x height block from the bitmap's top-left corner into the store's own target.
    virtual void DrawSized(int id, int x, int y, int width, int height);
    // The width x height block at sx, sy of the bitmap to x, y: how a background is restored.
    virtual void DrawPart(ce::Dc& target, int id, int x, int y, int width, int height, int sx, int sy, uint32_t rop);
    virtual void SetKeyed(bool on, ce::COLORREF key);
    // Frame `frame` of a strip of `frames` equal frames side by side (frame width = bitmap
    // width / frames); x or y of -1 takes the default position. A frame count below 1 draws the
    // whole bitmap as a strip of one frame. False when the entry or its bitmap is missing.
    virtual bool DrawFrame(ce::Dc& target, int id, int frames, int frame, int x, int y, uint32_t rop);
    // Deletes every bitmap (at program end).
    virtual void Destroy();

    void SetTarget(ce::Dc* target) { m_pTarget = target; }
    bool IsKeyed() const { return m_bKeyed; }
    ce::COLORREF KeyColor() const { return m_KeyColor; }
    // Bytes of pixels held by the loaded bitmaps.
    size_t LoadedBytes() const;

private:
    const ce::HBITMAP* BitmapOf(int id) const;
    void Copy(ce::Dc& target, const ce::HBITMAP& bitmap, int x, int y, int width, int height, int sx, int sy,
              uint32_t rop) const;

    std::vector<ImageEntry> m_Table;
    bool m_bLoaded = false;
    bool m_bKeyed = false;
    ce::COLORREF m_KeyColor = 0;
    ce::Dc* m_pTarget = nullptr;
};

}  // namespace panel
