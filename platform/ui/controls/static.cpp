#include "platform/gfx/draw_text.h"
#include "platform/ui/controls.h"
#include "platform/ui/window_system.h"

namespace ce {

namespace {

uint32_t styleOf(HWND hwnd) {
    auto r = WindowSystem::instance().find(hwnd);
    if (!r) return 0;
    std::lock_guard lock(WindowSystem::instance().mutex());
    return r->style;
}

}  // namespace

void Static::paint(Dc& dc) {
    uint32_t style = styleOf(hwnd());
    Rect client{0, 0, surface().width(), surface().height()};
    dc.fillRect(client, createSolidBrush(background()));
    dc.selectObject(font());
    dc.setBkMode(TRANSPARENT);
    dc.setTextColor((style & WS_DISABLED) ? RGB(0x80, 0x80, 0x80) : RGB(0, 0, 0));
    uint32_t format = (style & SS_CENTER) ? DT_CENTER : (style & SS_RIGHT) ? DT_RIGHT : DT_LEFT;
    format |= (style & SS_CENTERIMAGE) ? (DT_VCENTER | DT_SINGLELINE) : DT_WORDBREAK;
    drawText(dc, text(), client, format);
}

}  // namespace ce
