#include "panel/browser/browser_wnd.h"

#include "panel/images/draw_surface.h"
#include "platform/ui/message.h"
#include "platform/ui/paint.h"

namespace panel {

CBrowserWnd::CBrowserWnd() = default;

CBrowserWnd::~CBrowserWnd() { destroy(); }

void CBrowserWnd::SetLayout(const PanelLayout& layout) {
    m_Layout = layout;
    for (ButtonCaption& caption : m_Layout.captions)
        if (caption.text.size() > static_cast<size_t>(kCaptionLength)) caption.text.resize(kCaptionLength);
    m_List.Configure(m_Layout.list);
    if (m_Layout.keys.enabled) {
        m_Focus.Build(m_Layout);
        if (!CanFocus(m_Focus.Current())) m_Focus.Move(true, [this](int id) { return CanFocus(id); });
    }
    if (!BackBuffer().IsCreated()) {
        ce::Dc screen;  // every context of the system shares one pixel format
        BackBuffer().Create(screen, kBackBufferWidth, kBackBufferHeight);
    }
}

bool CBrowserWnd::Create(ce::HWND parent, int x, int y, int width, int height, int id) {
    ce::WindowSpec spec;
    spec.className = "BrowserWnd";
    spec.title = "BrowserWnd";
    spec.style = ce::WS_CHILD | ce::WS_VISIBLE;
    spec.rect = ce::Rect{x, y, x + width, y + height};
    spec.parent = parent;
    spec.id = id;
    m_bDestroyed = false;
    if (create(spec) != ce::ERROR_SUCCESS) return false;

    bool rotating = false;
    for (const TextCell& cell : m_Layout.cells) rotating = rotating || cell.marquee;
    if (rotating || m_Layout.list.marquee) m_bTimerRunning = ce::setTimer(hwnd(), kMarqueeTimer, kMarqueePeriodMs) != 0;
    return true;
}

bool CBrowserWnd::SetCellText(int index, std::u16string_view text) {
    if (index < 0 || index >= kCellCount) return false;
    m_CellTexts[static_cast<size_t>(index)] = text;
    m_Layout.cells[static_cast<size_t>(index)].marqueePosition = 0;
    DrawCell(index, true);
    return true;
}

bool CBrowserWnd::SetButtonValue(int index, int value) {
    if (index < 0 || index >= kButtonCount) return false;
    m_ButtonValues[static_cast<size_t>(index)] = value;
    DrawButton(index);
    return true;
}

ce::LRESULT CBrowserWnd::windowProc(ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam) {
    const ce::Point point{static_cast<int16_t>(ce::loWord(static_cast<uintptr_t>(lParam))),
                          static_cast<int16_t>(ce::hiWord(static_cast<uintptr_t>(lParam)))};
    switch (msg) {
        case ce::WM_PAINT:
            OnPaint();
            return 0;
        case ce::WM_ERASEBKGND:
            return 1;  // the paint covers every pixel
        case ce::WM_LBUTTONDOWN:
            OnPenDown(point, true);
            return 0;
        case ce::WM_LBUTTONDBLCLK:
            OnPenDown(point, false);
            return 0;
        case ce::WM_LBUTTONUP:
            OnPenUp(point);
            return 0;
        case ce::WM_KEYDOWN:
            OnKeyDown(static_cast<ce::UINT>(wParam));
            return 0;
        case ce::WM_TIMER:
            OnTimer(wParam);
            return 0;
        case ce::WM_DESTROY:
            OnDestroy();
            break;
        default:
            break;
    }
    return ce::Window::windowProc(msg, wParam, lParam);
}

void CBrowserWnd::OnTimer(uintptr_t id) {
    if (id == kMarqueeTimer) PartialRedraw();
}

void CBrowserWnd::OnDestroy() {
    m_bDestroyed = true;
    m_bTimerRunning = false;
    m_List.Clear();
    for (std::u16string& text : m_CellTexts) text.clear();
}

void CBrowserWnd::Post(ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam) const {
    if (msg == 0) return;
    ce::postMessage(MainWindow(), msg, wParam, lParam);
}

ce::HWND CBrowserWnd::MainWindow() const {
    ce::HWND window = hwnd();
    for (ce::HWND parent = ce::getParent(window); parent; parent = ce::getParent(parent)) window = parent;
    return window;
}

}  // namespace panel
