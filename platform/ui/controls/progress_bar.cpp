#include <algorithm>

#include "platform/ui/controls.h"
#include "platform/ui/message.h"

namespace ce {

LRESULT ProgressBar::windowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE:
            publishRange(min_, max_, pos_);
            return Window::windowProc(msg, wParam, lParam);
        case PBM_SETRANGE: {
            LRESULT previous = static_cast<LRESULT>(makeLParam(static_cast<unsigned>(min_), static_cast<unsigned>(max_)));
            auto packed = static_cast<uintptr_t>(lParam);
            setRange(static_cast<int>(loWord(packed)), static_cast<int>(hiWord(packed)));
            return previous;
        }
        case PBM_SETRANGE32: {
            LRESULT previous = static_cast<LRESULT>(makeLParam(static_cast<unsigned>(min_), static_cast<unsigned>(max_)));
            setRange(static_cast<int>(wParam), static_cast<int>(lParam));
            return previous;
        }
        case PBM_SETPOS:
            return setPos(static_cast<int>(wParam));
        case PBM_DELTAPOS:
            return setPos(pos_ + static_cast<int>(wParam));
        case PBM_SETSTEP: {
            int previous = step_;
            step_ = static_cast<int>(wParam);
            return previous;
        }
        case PBM_STEPIT: {
            int next = pos_ + step_;
            if (next > max_) next = min_ + (next - max_);  // wraps around as on the device
            return setPos(next);
        }
        case PBM_GETRANGE:
            // lParam may name a range record; it is never read from, so a number from another
            // process cannot make the bar touch foreign memory.
            return wParam ? min_ : max_;
        case PBM_GETPOS:
            return pos_;
        default:
            return Window::windowProc(msg, wParam, lParam);
    }
}

void ProgressBar::setRange(int min, int max) {
    min_ = min;
    max_ = max;
    pos_ = std::clamp(pos_, std::min(min_, max_), std::max(min_, max_));
    changed();
}

int ProgressBar::setPos(int pos) {
    int previous = pos_;
    pos_ = std::clamp(pos, std::min(min_, max_), std::max(min_, max_));
    if (pos_ != previous) changed();
    return previous;
}

void ProgressBar::changed() {
    publishRange(min_, max_, pos_);
    invalidateRect(hwnd(), nullptr, false);
}

void ProgressBar::paint(Dc& dc) {
    Rect client{0, 0, surface().width(), surface().height()};
    dc.selectObject(createSolidBrush(RGB(0xFF, 0xFF, 0xFF)));
    dc.selectObject(createPen(PS_SOLID, 1, RGB(0x80, 0x80, 0x80)));
    dc.rectangle(client.left, client.top, client.right, client.bottom);
    int span = max_ - min_;
    if (span <= 0 || client.width() <= 2) return;
    int filled = static_cast<int>(static_cast<int64_t>(client.width() - 2) * (pos_ - min_) / span);
    dc.fillRect(Rect{1, 1, 1 + filled, client.bottom - 1}, createSolidBrush(RGB(0x00, 0x60, 0xC0)));
}

}  // namespace ce
