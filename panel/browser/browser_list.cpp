// The list of a skinned window: rows, scroll bar and page indicator, scroll actions, and the
// list's part of pen input.

#include <fmt/printf.h>

#include "panel/browser/browser_wnd.h"
#include "panel/images/image_store.h"
#include "panel/images/panel_font.h"
#include "panel/images/text_fit.h"
#include "platform/core/text.h"
#include "platform/gfx/draw_text.h"

namespace panel {

namespace {

constexpr ce::COLORREF kStyleColor = 0xFFFFFFFF;

// "%d/%d" and the like with the selected row (from 1) and the item count; a format that does
// not take two numbers prints nothing rather than stopping the program.
std::u16string PageText(const std::u16string& format, int row, int count) {
    try {
        return ce::toUtf16(fmt::sprintf(ce::toUtf8(format), row, count));
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace

bool CBrowserWnd::ListUsable() const { return m_Layout.list.enabled && m_List.IsActive(); }

void CBrowserWnd::RedrawList() {
    if (!m_Layout.list.enabled) return;
    WithTarget([&](ce::Dc& dc) {
        DrawListOn(dc);
        DrawScrollBarOn(dc);
        DrawPageIndicatorOn(dc);
    });
}

void CBrowserWnd::DrawListOn(ce::Dc& dc) {
    if (!m_Layout.list.enabled) return;
    for (int i = 0; i < m_List.VisibleRows(); ++i) {
        const int row = m_List.Top() + i;
        if (row < m_List.Count()) {
            DrawListRow(dc, row);
        } else {
            const ce::Rect rect = m_List.RowRect(row);
            DrawBackgroundPart(dc, rect.left, rect.top, rect.width(), rect.height());
        }
    }
}

void CBrowserWnd::DrawListRow(ce::Dc& dc, int row) {
    const ListSettings& settings = m_Layout.list;
    const ListItem& item = m_List.Item(row);
    const bool focused = m_Layout.keys.enabled && m_Focus.Current() == kFocusList;
    const bool selected = row == m_List.Selected();
    ListRowState state = ROW_NORMAL;
    if (row == m_List.Pressed()) state = ROW_PRESSED;
    else if (selected) state = focused ? ROW_FOCUSED_SELECTED : ROW_SELECTED;
    else if (focused && m_List.Selected() < 0 && row == m_List.Top()) state = ROW_FOCUSED;
    const ListRowStyle& style = settings.rows[state];

    const ce::Rect rect = m_List.RowRect(row);
    if (style.background == -1 || !m_Layout.store) DrawBackgroundPart(dc, rect.left, rect.top, rect.width(), rect.height());
    else m_Layout.store->Draw(dc, style.background, rect.left, rect.top);
    if (settings.iconImage >= 0 && m_Layout.store) {
        if (settings.iconKeyed) m_Layout.store->SetKeyed(true, settings.iconKeyColor);
        m_Layout.store->DrawFrame(dc, settings.iconImage, settings.iconFrames, item.iconFrame, rect.left + settings.iconX,
                                  rect.top + settings.iconY, ce::SRCCOPY);
        m_Layout.store->SetKeyed(false, 0);
    }

    dc.setBkMode(ce::TRANSPARENT);
    dc.selectObject(CreatePanelFont(style.fontHeight1, style.bold != 0, settings.faceName));
    dc.setTextColor(state == ROW_NORMAL && item.color != kStyleColor ? item.color : style.color1);
    const ce::Rect line1 = settings.line1.offset(rect.left, rect.top);
    if (settings.marquee && selected) {
        DrawRotated(dc, item.line1, line1, settings.lineFormat, m_List.m_nMarqueePosition);
        m_List.m_nMarqueePosition = NextMarqueePosition(m_List.m_nMarqueePosition, item.line1.size());
    } else {
        DrawTruncated(dc, item.line1, line1, settings.lineFormat);
    }
    if (!item.line2.empty()) {
        dc.selectObject(CreatePanelFont(style.fontHeight2, style.bold != 0, settings.faceName));
        dc.setTextColor(style.color2);
        DrawTruncated(dc, item.line2, settings.line2.offset(rect.left, rect.top), settings.lineFormat);
    }
}

void CBrowserWnd::DrawScrollBarOn(ce::Dc& dc) {
    const ListSettings& settings = m_Layout.list;
    if (!settings.enabled || !settings.scrollBar || !m_Layout.store) return;
    CImageStore& store = *m_Layout.store;
    const ce::Rect bar = m_List.BarRect();
    if (settings.trackImage == -1) DrawBackgroundPart(dc, bar.left, bar.top, bar.width(), bar.height());
    else store.Draw(dc, settings.trackImage, bar.left, bar.top);
    const ImageEntry* thumb = store.Find(settings.thumbImage);
    if (thumb && thumb->bitmap) store.Draw(dc, settings.thumbImage, bar.left, m_List.ThumbTop(thumb->bitmap->height()));
}

void CBrowserWnd::DrawPageIndicatorOn(ce::Dc& dc) {
    const ListSettings& settings = m_Layout.list;
    if (!settings.enabled || !settings.pageIndicator) return;
    const ce::Rect& rect = settings.pageRect;
    DrawBackgroundPart(dc, rect.left, rect.top, rect.width(), rect.height());
    dc.setBkMode(ce::TRANSPARENT);
    dc.selectObject(CreatePanelFont(settings.pageFontHeight, settings.pageBold != 0, settings.faceName));
    dc.setTextColor(settings.pageColor);
    ce::drawText(dc, PageText(settings.pageFormat, m_List.Selected() + 1, m_List.Count()), rect,
                 settings.pageTextFormat);
}

void CBrowserWnd::RunScrollAction(int action, int amount) {
    if (!ListUsable()) return;
    switch (action) {
        case SCROLL_LIST_UP: ApplyScroll(0, m_List.ScrollUp(amount)); break;
        case SCROLL_LIST_DOWN: ApplyScroll(1, m_List.ScrollDown(amount)); break;
        case SCROLL_SELECTION_UP: ApplyScroll(2, m_List.SelectUp(amount)); break;
        case SCROLL_SELECTION_DOWN: ApplyScroll(3, m_List.SelectDown(amount)); break;
        default: break;
    }
}

// Tells the owner what a scroll did and shows it.
void CBrowserWnd::ApplyScroll(int kind, const ScrollOutcome& outcome) {
    if (outcome.reachedEnd) Post(m_Layout.messages.listScroll, static_cast<ce::WPARAM>(kind), 0);
    if (outcome.topChanged)
        Post(m_Layout.messages.scrollPosition, static_cast<ce::WPARAM>(m_List.Top()), m_List.MaxTop());
    RedrawList();
}

bool CBrowserWnd::ListPress(ce::Point point) {
    if (!ListUsable()) return false;
    const int row = m_List.RowAt(point);
    if (row >= 0) {
        m_List.SetPressed(row);
        RedrawList();
        return true;
    }
    const ce::Rect bar = m_List.BarRect();
    if (bar.empty() || !bar.contains(point)) return false;
    m_bBarPressed = true;
    const ImageEntry* thumb = m_Layout.store ? m_Layout.store->Find(m_Layout.list.thumbImage) : nullptr;
    const int thumbHeight = thumb && thumb->bitmap ? thumb->bitmap->height() : 0;
    const int thumbTop = m_List.ThumbTop(thumbHeight);
    if (point.y < thumbTop) ApplyScroll(0, m_List.ScrollUp(m_List.VisibleRows()));
    else if (point.y >= thumbTop + thumbHeight) ApplyScroll(1, m_List.ScrollDown(m_List.VisibleRows()));
    return true;
}

bool CBrowserWnd::ListRelease(ce::Point point) {
    if (m_bBarPressed) {
        m_bBarPressed = false;
        return true;
    }
    const int pressed = m_List.Pressed();
    if (pressed < 0) return false;
    m_List.SetPressed(-1);
    if (m_List.RowAt(point) == pressed && m_List.Select(pressed))
        Post(m_Layout.messages.listSelect, static_cast<ce::WPARAM>(pressed), m_List.Item(pressed).data);
    RedrawList();
    return true;
}

}  // namespace panel
