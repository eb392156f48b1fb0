// Pen and keys of a skinned window: button hit testing and press states, capture, the
// keyboard focus, and the messages posted to the program's main window.

#include "panel/browser/browser_wnd.h"
#include "platform/ui/message.h"

namespace panel {

int CBrowserWnd::HitButton(ce::Point point) const {
    for (int i = 0; i < kButtonCount; ++i) {
        const PanelButton& button = m_Layout.buttons[static_cast<size_t>(i)];
        if (!button.enabled || button.hitTestOff) continue;
        if (button.scrollAction != SCROLL_NONE && !ListUsable()) continue;
        const ce::Rect hit{button.hitX, button.hitY, button.hitX + button.hitWidth, button.hitY + button.hitHeight};
        if (hit.contains(point)) return i;
    }
    return -1;
}

void CBrowserWnd::OnPenDown(ce::Point point, bool capture) {
    if (capture) ce::setCapture(hwnd());
    const int index = HitButton(point);
    // A press that hits no button also forgets the last one, so that its release can never
    // act for a button pressed long before.
    m_nLastPressed = index;
    if (index >= 0) {
        bool& pressed = m_Pressed[static_cast<size_t>(index)];
        pressed = !(m_Layout.buttons[static_cast<size_t>(index)].mode == BUTTON_TOGGLE && pressed);
        if (m_Layout.keys.enabled) GiveFocusTo(kFocusButtonBase + index);
        DrawButton(index);
        Post(m_Layout.messages.buttonPress, static_cast<ce::WPARAM>(index), 0);
        if (!m_Layout.scrollOnRelease) {
            const PanelButton& button = m_Layout.buttons[static_cast<size_t>(index)];
            RunScrollAction(button.scrollAction, button.scrollAmount);
        }
    }
    if (!ListPress(point))
        Post(m_Layout.messages.pressOutside, static_cast<ce::WPARAM>(point.x), static_cast<ce::LPARAM>(point.y));
}

void CBrowserWnd::OnPenUp(ce::Point point) {
    if (ce::getCapture() == hwnd()) ce::releaseCapture();
    for (int i = 0; i < kButtonCount; ++i) {
        const PanelButton& button = m_Layout.buttons[static_cast<size_t>(i)];
        if (!button.enabled || button.mode != BUTTON_MOMENTARY || !m_Pressed[static_cast<size_t>(i)]) continue;
        m_Pressed[static_cast<size_t>(i)] = false;
        DrawButton(i);
    }
    ce::Rect client;
    ce::getClientRect(hwnd(), &client);
    if (client.contains(point) && m_nLastPressed >= 0) {
        const int index = m_nLastPressed;
        Post(m_Layout.messages.buttonRelease, static_cast<ce::WPARAM>(index), 0);
        if (m_Layout.scrollOnRelease) {
            const PanelButton& button = m_Layout.buttons[static_cast<size_t>(index)];
            RunScrollAction(button.scrollAction, button.scrollAmount);
        }
        m_nLastPressed = -1;
    }
    if (!ListRelease(point))
        Post(m_Layout.messages.releaseOutside, static_cast<ce::WPARAM>(point.x), static_cast<ce::LPARAM>(point.y));
}

bool CBrowserWnd::CanFocus(int id) const {
    if (id == kFocusList) return ListUsable();
    const int index = id - kFocusButtonBase;
    if (index < 0 || index >= kButtonCount) return false;
    const PanelButton& button = m_Layout.buttons[static_cast<size_t>(index)];
    return button.enabled && (button.scrollAction == SCROLL_NONE || ListUsable());
}

void CBrowserWnd::RedrawItem(int id) {
    if (id == kFocusList) RedrawList();
    else if (id >= kFocusButtonBase && id < kFocusButtonBase + kButtonCount) DrawButton(id - kFocusButtonBase);
}

void CBrowserWnd::GiveFocusTo(int id) {
    const int before = m_Focus.Current();
    if (!m_Focus.MoveTo(id) || before == id) return;
    RedrawItem(before);
}

void CBrowserWnd::MoveFocus(bool forward) {
    const int before = m_Focus.Current();
    const int after = m_Focus.Move(forward, [this](int id) { return CanFocus(id); });
    RedrawItem(before);
    if (after != before) RedrawItem(after);
}

void CBrowserWnd::Activate() {
    const int id = m_Focus.Current();
    if (id == kFocusList) {
        const int row = m_List.Selected();
        if (row >= 0 && row < m_List.Count())
            Post(m_Layout.messages.listSelect, static_cast<ce::WPARAM>(row), m_List.Item(row).data);
        return;
    }
    const int index = id - kFocusButtonBase;
    if (index < 0 || index >= kButtonCount) return;
    const PanelButton& button = m_Layout.buttons[static_cast<size_t>(index)];
    if (button.scrollAction != SCROLL_NONE) RunScrollAction(button.scrollAction, button.scrollAmount);
    else if (m_Layout.messages.buttonPress) Post(m_Layout.messages.buttonPress, static_cast<ce::WPARAM>(index), 0);
    else Post(m_Layout.messages.buttonRelease, static_cast<ce::WPARAM>(index), 0);
}

void CBrowserWnd::OnKeyDown(ce::UINT key) {
    const KeyboardSettings& keys = m_Layout.keys;
    if (!keys.enabled || key == 0) return;
    if (key == keys.previousFocus) {
        MoveFocus(false);
    } else if (key == keys.nextFocus) {
        MoveFocus(true);
    } else if (key == keys.activate) {
        Activate();
    } else if ((key == keys.selectionUp || key == keys.selectionDown) && m_Focus.Current() == kFocusList && ListUsable()) {
        if (key == keys.selectionUp) m_List.SelectUp(1);
        else m_List.SelectDown(1);
        RedrawList();
    }
}

}  // namespace panel
