#include "platform/gfx/draw_text.h"
#include "platform/ui/controls.h"
#include "platform/ui/message.h"

namespace ce {

namespace {

Point pointOf(LPARAM lParam) {
    // Pen coordinates are signed 16-bit values (a captured pen may be left of the window).
    return Point{static_cast<int16_t>(loWord(static_cast<uintptr_t>(lParam))),
                 static_cast<int16_t>(hiWord(static_cast<uintptr_t>(lParam)))};
}

}  // namespace

LRESULT Button::windowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            if (!isWindowEnabled(hwnd())) return 0;
            pressed_ = true;
            setCapture(hwnd());
            invalidateRect(hwnd(), nullptr, false);
            return 0;
        case WM_LBUTTONUP: {
            if (!pressed_) return 0;
            pressed_ = false;
            if (getCapture() == hwnd()) releaseCapture();
            invalidateRect(hwnd(), nullptr, false);
            Rect client;
            getClientRect(hwnd(), &client);
            if (client.contains(pointOf(lParam))) click();
            return 0;
        }
        case WM_CAPTURECHANGED:
            if (pressed_) {
                pressed_ = false;
                invalidateRect(hwnd(), nullptr, false);
            }
            return 0;
        case BM_CLICK:
            if (isWindowEnabled(hwnd())) click();
            return 0;
        case BM_GETSTATE:
            return pressed_ ? LRESULT{BST_PUSHED} : LRESULT{0};
        case BM_SETSTATE:
            pressed_ = wParam != 0;
            invalidateRect(hwnd(), nullptr, false);
            return 0;
        default:
            return Window::windowProc(msg, wParam, lParam);
    }
}

void Button::click() {
    HWND self = hwnd();
    sendMessage(getParent(self), WM_COMMAND, makeWParam(static_cast<unsigned>(getDlgCtrlID(self)), BN_CLICKED),
                static_cast<LPARAM>(self));
}

void Button::paint(Dc& dc) {
    Rect client{0, 0, surface().width(), surface().height()};
    bool enabled = isWindowEnabled(hwnd());
    dc.selectObject(createSolidBrush(pressed_ ? RGB(0xA0, 0xA0, 0xA0) : RGB(0xDD, 0xDD, 0xDD)));
    dc.selectObject(createPen(PS_SOLID, 1, RGB(0x40, 0x40, 0x40)));
    dc.rectangle(client.left, client.top, client.right, client.bottom);
    dc.selectObject(font());
    dc.setBkMode(TRANSPARENT);
    dc.setTextColor(enabled ? RGB(0, 0, 0) : RGB(0x90, 0x90, 0x90));
    Rect inner = client;
    if (pressed_) inner = inner.offset(1, 1);
    drawText(dc, text(), inner, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

}  // namespace ce
