#include "panel/browser/focus_order.h"

namespace panel {

void FocusOrder::Insert(Entry entry) {
    if (static_cast<int>(m_Entries.size()) >= kMaxFocusItems) return;
    auto at = m_Entries.begin();
    while (at != m_Entries.end() && at->key <= entry.key) ++at;
    m_Entries.insert(at, entry);
}

void FocusOrder::Build(const PanelLayout& layout) {
    m_Entries.clear();
    if (layout.list.enabled) Insert(Entry{kFocusList, layout.list.focusKey});
    for (int i = 0; i < kButtonCount; ++i)
        if (layout.buttons[static_cast<size_t>(i)].enabled)
            Insert(Entry{kFocusButtonBase + i, layout.buttons[static_cast<size_t>(i)].focusKey});
    m_nPosition = m_Entries.empty() ? -1 : 0;
}

int FocusOrder::Current() const {
    return m_nPosition >= 0 && m_nPosition < static_cast<int>(m_Entries.size()) ? m_Entries[static_cast<size_t>(m_nPosition)].id : -1;
}

bool FocusOrder::MoveTo(int id) {
    for (size_t i = 0; i < m_Entries.size(); ++i) {
        if (m_Entries[i].id != id) continue;
        m_nPosition = static_cast<int>(i);
        return true;
    }
    return false;
}

int FocusOrder::Move(bool forward, const CanFocus& canFocus) {
    const int count = static_cast<int>(m_Entries.size());
    int position = m_nPosition;
    for (int step = 0; step < count; ++step) {
        if (position < 0) position = forward ? 0 : count - 1;
        else position = (position + (forward ? 1 : count - 1)) % count;
        if (canFocus(m_Entries[static_cast<size_t>(position)].id)) {
            m_nPosition = position;
            return Current();
        }
    }
    m_nPosition = -1;
    return -1;
}

}  // namespace panel
