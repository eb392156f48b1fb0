// Where the main window sits: placed (topmost, shown, at its rectangle), hidden (at the bottom
// of the z-order, rectangle kept), and which panel is raised inside it.

#include "panel/config/zek_config.h"
#include "panel/frame/main_frame.h"

namespace panel {

void CMainFrame::PlacePanel() {
    const ce::Rect r = PanelRect(IsHorizontal(), IsExpanded());
    ce::setWindowPos(hwnd(), ce::HWND_TOPMOST, r.left, r.top, r.width(), r.height(), ce::SWP_SHOWWINDOW);
}

void CMainFrame::HidePanel() {
    ce::setWindowPos(hwnd(), ce::HWND_BOTTOM, 0, 0, 0, 0,
                     ce::SWP_HIDEWINDOW | ce::SWP_NOMOVE | ce::SWP_NOSIZE | ce::SWP_NOOWNERZORDER);
}

void CMainFrame::RaisePanel(CBrowserWnd& panel) {
    ce::setWindowPos(panel.hwnd(), ce::HWND_TOP, 0, 0, 0, 0, ce::SWP_NOMOVE | ce::SWP_NOSIZE | ce::SWP_SHOWWINDOW);
}

}  // namespace panel
