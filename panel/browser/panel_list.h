#pragma once
// The list of a skinned window: its items, which rows show (top row, a fixed number of rows),
// the selected and the pressed row, and the scroll arithmetic. Drawing and messages are the
// window's; this class only keeps the state consistent: the top row stays within
// 0..MaxTop(), the selection within the items and, once moved, in view.

#include <cstdint>
#include <string>
#include <vector>

#include "panel/browser/panel_layout.h"

namespace panel {

struct ListItem {
    intptr_t data = 0;  // the owner's value, posted with a selection
    std::u16string line1, line2;
    int32_t iconFrame = 0;           // frame of the list's icon strip
    ce::COLORREF color = 0xFFFFFFFF;  // first line's colour in the normal state; 0xFFFFFFFF: the row style's
};

// What a scroll operation did.
struct ScrollOutcome {
    bool reachedEnd = false;  // it ended at the first or last row (top or selection)
    bool topChanged = false;
    bool selectionChanged = false;
};

class PanelList {
public:
    void Configure(const ListSettings& settings);
    void SetActive(bool active) { m_bActive = active; }
    bool IsActive() const { return m_bActive; }

    void AddItem(ListItem item);
    void Clear();
    int Count() const { return static_cast<int>(m_Items.size()); }
    const ListItem& Item(int row) const { return m_Items.at(static_cast<size_t>(row)); }

    int Top() const { return m_nTop; }
    int MaxTop() const;
    int Selected() const { return m_nSelected; }  // -1 for none
    bool Select(int row);                         // false for a row that does not exist

    ScrollOutcome ScrollUp(int rows);
    ScrollOutcome ScrollDown(int rows);
    ScrollOutcome SelectUp(int rows);
    ScrollOutcome SelectDown(int rows);

    // Geometry in window coordinates.
    int VisibleRows() const { return m_Settings.visibleRows > 0 ? m_Settings.visibleRows : 0; }
    ce::Rect ListRect() const;
    ce::Rect RowRect(int row) const;  // row of the list, whether it shows or not
    ce::Rect BarRect() const;
    // The row under a point, or -1 (outside the rows, or a row without an item).
    int RowAt(ce::Point point) const;
    // Where the thumb of the given height sits on the bar.
    int ThumbTop(int thumbHeight) const;

    // A pen press on a row, kept until the pen is lifted.
    int Pressed() const { return m_nPressed; }
    void SetPressed(int row) { m_nPressed = row; }

    // Rotation of the selected row's first line.
    int m_nMarqueePosition = 0;

private:
    void KeepSelectionInView();

    ListSettings m_Settings{};
    std::vector<ListItem> m_Items;
    bool m_bActive = false;
    int m_nTop = 0;
    int m_nSelected = -1;
    int m_nPressed = -1;
};

}  // namespace panel
