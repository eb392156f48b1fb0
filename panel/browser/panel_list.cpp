#include "panel/browser/panel_list.h"

#include <algorithm>

namespace panel {

void PanelList::Configure(const ListSettings& settings) {
    m_Settings = settings;
    m_bActive = settings.active != 0;
    m_nTop = std::min(m_nTop, MaxTop());
}

void PanelList::AddItem(ListItem item) { m_Items.push_back(std::move(item)); }

void PanelList::Clear() {
    m_Items.clear();
    m_nTop = 0;
    m_nSelected = -1;
    m_nPressed = -1;
    m_nMarqueePosition = 0;
}

int PanelList::MaxTop() const { return std::max(0, Count() - VisibleRows()); }

bool PanelList::Select(int row) {
    if (row < 0 || row >= Count()) return false;
    if (row != m_nSelected) m_nMarqueePosition = 0;
    m_nSelected = row;
    KeepSelectionInView();
    return true;
}

void PanelList::KeepSelectionInView() {
    if (m_nSelected < 0) return;
    if (m_nSelected < m_nTop) m_nTop = m_nSelected;
    else if (VisibleRows() > 0 && m_nSelected >= m_nTop + VisibleRows()) m_nTop = m_nSelected - VisibleRows() + 1;
    m_nTop = std::clamp(m_nTop, 0, MaxTop());
}

ScrollOutcome PanelList::ScrollUp(int rows) {
    const int before = m_nTop;
    m_nTop = std::max(0, m_nTop - std::max(rows, 1));
    return ScrollOutcome{m_nTop == 0, m_nTop != before, false};
}

ScrollOutcome PanelList::ScrollDown(int rows) {
    const int before = m_nTop;
    m_nTop = std::min(MaxTop(), m_nTop + std::max(rows, 1));
    return ScrollOutcome{m_nTop == MaxTop(), m_nTop != before, false};
}

ScrollOutcome PanelList::SelectUp(int rows) {
    if (Count() == 0) return ScrollOutcome{true, false, false};
    const int top = m_nTop, selected = m_nSelected;
    Select(std::max(0, (m_nSelected < 0 ? 0 : m_nSelected) - std::max(rows, 1)));
    return ScrollOutcome{m_nSelected == 0, m_nTop != top, m_nSelected != selected};
}

ScrollOutcome PanelList::SelectDown(int rows) {
    if (Count() == 0) return ScrollOutcome{true, false, false};
    const int top = m_nTop, selected = m_nSelected;
    Select(std::min(Count() - 1, m_nSelected + std::max(rows, 1)));
    return ScrollOutcome{m_nSelected == Count() - 1, m_nTop != top, m_nSelected != selected};
}

ce::Rect PanelList::ListRect() const {
    return ce::Rect{m_Settings.x, m_Settings.y, m_Settings.x + m_Settings.width,
                    m_Settings.y + VisibleRows() * m_Settings.rowHeight};
}

ce::Rect PanelList::RowRect(int row) const {
    const int top = m_Settings.y + (row - m_nTop) * m_Settings.rowHeight;
    return ce::Rect{m_Settings.x, top, m_Settings.x + m_Settings.width, top + m_Settings.rowHeight};
}

ce::Rect PanelList::BarRect() const {
    if (!m_Settings.scrollBar) return ce::Rect{};
    return ce::Rect{m_Settings.barX, m_Settings.barY, m_Settings.barX + m_Settings.barWidth,
                    m_Settings.barY + m_Settings.barHeight};
}

int PanelList::RowAt(ce::Point point) const {
    if (m_Settings.rowHeight <= 0 || !ListRect().contains(point)) return -1;
    const int row = m_nTop + (point.y - m_Settings.y) / m_Settings.rowHeight;
    return row < Count() ? row : -1;
}

int PanelList::ThumbTop(int thumbHeight) const {
    const int travel = std::max(0, m_Settings.barHeight - thumbHeight);
    int64_t step = 0, steps = 0;
    if (m_Settings.proportionalThumb) {
        step = m_nTop;
        steps = MaxTop();
    } else {
        step = std::max(0, m_nSelected);
        steps = Count() - 1;
    }
    return m_Settings.barY + (steps > 0 ? static_cast<int>(travel * step / steps) : 0);
}

}  // namespace panel
