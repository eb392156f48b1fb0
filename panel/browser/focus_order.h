#pragma once
// The keyboard focus order of a skinned window: the list (item id 0) and the enabled buttons
// (item id 10 + index), ascending by their focus keys, an equal key after the items already
// there, at most 80 items. Moving wraps at both ends and passes over items that cannot take
// the focus now; when none can, nothing holds it.

#include <functional>
#include <vector>

#include "panel/browser/panel_layout.h"

namespace panel {

inline constexpr int kFocusList = 0;
inline constexpr int kFocusButtonBase = 10;
inline constexpr int kMaxFocusItems = 80;

class FocusOrder {
public:
    struct Entry {
        int id = 0;
        int key = 0;
    };
    using CanFocus = std::function<bool(int id)>;

    void Build(const PanelLayout& layout);
    const std::vector<Entry>& Entries() const { return m_Entries; }

    // The item holding the focus, or -1.
    int Current() const;
    // Gives the focus to an item of the order; false when it is not in it.
    bool MoveTo(int id);
    // The next (or previous) item that can take the focus; -1 when none can.
    int Move(bool forward, const CanFocus& canFocus);

private:
    void Insert(Entry entry);

    std::vector<Entry> m_Entries;
    int m_nPosition = -1;
};

}  // namespace panel
