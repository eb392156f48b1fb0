// Drawing of a skinned window: the full paint in the BackBuffer, the partial redraws of timer
// 1001, and the buttons, static images and text cells, each drawn into the BackBuffer during a
// full paint and straight into the window otherwise.

#include <algorithm>

#include "panel/browser/browser_wnd.h"
#include "panel/images/draw_surface.h"
#include "panel/images/image_store.h"
#include "panel/images/panel_font.h"
#include "panel/images/text_fit.h"
#include "platform/gfx/draw_text.h"
#include "platform/ui/paint.h"

namespace panel {

void CBrowserWnd::WithTarget(const std::function<void(ce::Dc&)>& draw) {
    if (m_bDestroyed || !exists()) return;
    if (m_bPainting) {
        draw(BackBuffer().dc());
        return;
    }
    ce::ClientDc client(hwnd());
    if (client.ok()) draw(client.dc());
}

void CBrowserWnd::OnPaint() {
    ce::PaintDc paint(*this);
    if (m_bDestroyed || !paint.ok()) return;
    m_bPainting = true;
    ce::Dc& buffer = BackBuffer().dc();
    if (m_Layout.store) m_Layout.store->Draw(buffer, m_Layout.background);
    for (int i = 0; i < kStaticImageCount; ++i) DrawStatic(buffer, i);
    for (int i = 0; i < kButtonCount; ++i) DrawButtonOn(buffer, i);
    if (m_Layout.list.enabled) {
        DrawListOn(buffer);
        DrawScrollBarOn(buffer);
    }
    for (int i = 0; i < kCellCount; ++i) DrawCellOn(buffer, i, true);
    DrawPageIndicatorOn(buffer);
    if (m_Layout.paintCallback) m_Layout.paintCallback(hwnd());
    BackBuffer().CopyTo(paint.dc(), 0, 0, kBackBufferWidth, kBackBufferHeight);
    m_bPainting = false;
}

// Timer 1001: the window's current picture goes into the BackBuffer, the rotating elements
// are drawn over it there, and the result goes back in one copy.
void CBrowserWnd::PartialRedraw() {
    bool cells = false;
    for (const TextCell& cell : m_Layout.cells) cells = cells || cell.marquee;
    const bool list = m_Layout.list.enabled && m_Layout.list.marquee && m_List.Pressed() < 0;
    if (m_bDestroyed || (!cells && !list)) return;
    ce::ClientDc client(hwnd());
    if (!client.ok()) return;
    BackBuffer().CopyFrom(client.dc(), 0, 0, kBackBufferWidth, kBackBufferHeight);
    m_bPainting = true;
    if (list) DrawListOn(BackBuffer().dc());
    if (cells)
        for (int i = 0; i < kCellCount; ++i) DrawCellOn(BackBuffer().dc(), i, true);
    m_bPainting = false;
    BackBuffer().CopyTo(client.dc(), 0, 0, kBackBufferWidth, kBackBufferHeight);
}

void CBrowserWnd::DrawBackgroundPart(ce::Dc& dc, int x, int y, int width, int height) {
    if (m_Layout.store) m_Layout.store->DrawPart(dc, m_Layout.background, x, y, width, height, x, y, ce::SRCCOPY);
}

void CBrowserWnd::DrawStatic(ce::Dc& dc, int index) {
    const StaticImage& image = m_Layout.statics[static_cast<size_t>(index)];
    if (!image.enabled || !m_Layout.store) return;
    if (image.keyed) m_Layout.store->SetKeyed(true, image.keyColor);
    m_Layout.store->DrawFrame(dc, image.image, image.frames, 0, image.x, image.y, ce::SRCCOPY);
    m_Layout.store->SetKeyed(false, 0);
}

int CBrowserWnd::ButtonState(int index) const {
    if (m_Pressed[static_cast<size_t>(index)]) return 1;
    if (m_Layout.keys.enabled && m_Focus.Current() == kFocusButtonBase + index) return 2;
    return 0;
}

void CBrowserWnd::DrawButton(int index) {
    WithTarget([&](ce::Dc& dc) { DrawButtonOn(dc, index); });
}

void CBrowserWnd::DrawButtonOn(ce::Dc& dc, int index) {
    const PanelButton& button = m_Layout.buttons[static_cast<size_t>(index)];
    if (!button.enabled || !m_Layout.store) return;
    if (button.scrollAction != SCROLL_NONE && !ListUsable()) return;
    CImageStore& store = *m_Layout.store;
    if (button.keyed) store.SetKeyed(true, button.keyColor);
    const int state = ButtonState(index);
    const int value = m_ButtonValues[static_cast<size_t>(index)];
    if (value >= 0 && value < kButtonValues) {
        const int image = button.images[static_cast<size_t>(state)][static_cast<size_t>(value)];
        if (image == -1) DrawBackgroundPart(dc, button.x, button.y, button.width, button.height);
        else store.Draw(dc, image, button.x, button.y);
    }
    DrawCaption(dc, index, state);
    store.SetKeyed(false, 0);
}

void CBrowserWnd::DrawCaption(ce::Dc& dc, int index, int state) {
    const ButtonCaption& caption = m_Layout.captions[static_cast<size_t>(index)];
    if (!caption.enabled) return;
    const PanelButton& button = m_Layout.buttons[static_cast<size_t>(index)];
    const auto s = static_cast<size_t>(state);
    dc.selectObject(CreatePanelFont(caption.fontHeights[s], caption.bold[s] != 0, caption.faceName));
    dc.setTextColor(caption.colors[s]);
    dc.setBkMode(ce::TRANSPARENT);
    const int left = button.x + caption.offsetX, top = button.y + caption.offsetY;
    const ce::Rect rect{left, top, left + caption.width, top + caption.height};
    uint32_t format = caption.format;
    const bool oneLine = caption.text.find(u'\n') == std::u16string::npos;
    if (oneLine && ce::getTextExtentPoint(dc, caption.text).cx < rect.width()) format |= ce::DT_VCENTER;
    DrawTruncated(dc, caption.text, rect, format);
}

void CBrowserWnd::DrawCell(int index, bool withBackground) {
    WithTarget([&](ce::Dc& dc) { DrawCellOn(dc, index, withBackground); });
}

void CBrowserWnd::DrawCellOn(ce::Dc& dc, int index, bool withBackground) {
    TextCell& cell = m_Layout.cells[static_cast<size_t>(index)];
    if (!cell.enabled || cell.width <= 0 || cell.height <= 0) return;
    const ce::HFONT font = CreatePanelFont(cell.fontHeight, cell.bold != 0, cell.faceName);
    DrawSurface surface;
    surface.Create(dc, cell.width, cell.height);
    if (m_bPainting) surface.CopyFrom(BackBuffer().dc(), cell.x, cell.y, cell.width, cell.height);
    if (withBackground && m_Layout.store)
        m_Layout.store->DrawPart(surface.dc(), m_Layout.background, 0, 0, cell.width, cell.height, cell.x, cell.y,
                                 ce::SRCCOPY);
    const std::u16string& text = m_CellTexts[static_cast<size_t>(index)];
    if (text.empty()) return;  // the screen keeps what it showed
    ce::Dc& out = surface.dc();
    out.selectObject(font);
    out.setBkMode(ce::TRANSPARENT);
    if (cell.shadow == 1) {
        out.setTextColor(cell.shadowColor);
        DrawCellText(out, cell, text, ce::Rect{0, 1, cell.width, cell.height + 1}, false);
    }
    out.setTextColor(cell.color);
    DrawCellText(out, cell, text, ce::Rect{0, 0, cell.width, cell.height}, true);
    surface.CopyTo(dc, cell.x, cell.y, cell.width, cell.height);
}

void CBrowserWnd::DrawCellText(ce::Dc& dc, TextCell& cell, const std::u16string& text, const ce::Rect& rect,
                               bool advance) {
    if (cell.plain) {
        ce::drawText(dc, std::u16string_view(text), rect, cell.format);
    } else if (cell.marquee) {
        DrawRotated(dc, text, rect, cell.format, cell.marqueePosition);
        if (advance) cell.marqueePosition = NextMarqueePosition(cell.marqueePosition, text.size());
    } else {
        DrawTruncated(dc, text, rect, cell.format);
    }
}

}  // namespace panel
