#include "platform/gfx/draw_text.h"
#include "platform/ui/controls.h"
#include "platform/ui/window_system.h"

namespace ce {

void Edit::paint(Dc& dc) {
    uint32_t style = 0;
    if (auto r = WindowSystem::instance().find(hwnd())) {
        std::lock_guard lock(WindowSystem::instance().mutex());
        style = r->style;
    }
    Rect client{0, 0, surface().width(), surface().height()};
    dc.selectObject(createSolidBrush(RGB(0xFF, 0xFF, 0xFF)));
    dc.selectObject(createPen(PS_SOLID, 1, RGB(0x80, 0x80, 0x80)));
    dc.rectangle(client.left, client.top, client.right, client.bottom);
    dc.selectObject(font());
    dc.setBkMode(TRANSPARENT);
    dc.setTextColor((style & WS_DISABLED) ? RGB(0x80, 0x80, 0x80) : RGB(0, 0, 0));
    uint32_t format = (style & ES_CENTER) ? DT_CENTER : (style & ES_RIGHT) ? DT_RIGHT : DT_LEFT;
    format |= (style & ES_MULTILINE) ? DT_WORDBREAK : (DT_SINGLELINE | DT_VCENTER);
    Rect inner{client.left + 2, client.top + 2, client.right - 2, client.bottom - 2};
    drawText(dc, text(), inner, format);
}

}  // namespace ce
