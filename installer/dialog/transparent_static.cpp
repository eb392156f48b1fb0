#include "installer/dialog/transparent_static.h"

#include "installer/dialog/artwork.h"
#include "platform/gfx/draw_text.h"
#include "platform/ui/window.h"

namespace installer {

void CTransparentStatic::SetText(const std::string& text) {
    m_strText = text;
    ce::setWindowText(hwnd(), text);
}

void CTransparentStatic::DrawBackground(ce::Dc& dc, const ce::Rect& rect) {
    ce::Dc memory = ce::Dc::createCompatibleDC(&dc);
    memory.selectObject(LoadBitmap131());
    dc.stretchBlt(rect.left, rect.top, rect.width(), rect.height(), memory, kStatusRect.left, kStatusRect.top,
                  kStatusRect.width(), kStatusRect.height(), ce::SRCCOPY);
}

void CTransparentStatic::paint(ce::Dc& dc) {
    ce::Rect client;
    ce::getClientRect(hwnd(), &client);
    DrawBackground(dc, client);
    dc.selectObject(font());
    dc.setTextColor(ce::RGB(0, 0, 0));
    dc.setBkMode(ce::TRANSPARENT);
    ce::drawText(dc, m_strText, client, ce::DT_VCENTER);
}

}  // namespace installer
