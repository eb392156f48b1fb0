// The panels' buttons, reported by 1074 (horizontal) and 1075 (vertical): button 1 turns the
// panel, button 2 collapses or expands it. Both choices are saved in ZEK.cfg.

#include "panel/config/zek_config.h"
#include "panel/frame/main_frame.h"
#include "panel/guidance/panel_layouts.h"

namespace panel {

void CMainFrame::OnPanelButton(bool fromHorizontal, ce::WPARAM button) {
    // The next record draws the road names again, whatever the button did.
    m_Guide.ForgetRoadNames();
    if (button == BUTTON_ORIENTATION && IsExpanded()) ToggleOrientation();
    else if (button == BUTTON_EXPAND) ToggleExpansion(fromHorizontal);
}

void CMainFrame::ToggleOrientation() {
    g_ConfigInfo.m_nScreenType = g_ConfigInfo.m_nScreenType == 0 ? 1 : 0;
    SaveConfig();
    m_HorizontalPanel.SetButtonValue(BUTTON_EXPAND, 1);
    m_VerticalPanel.SetButtonValue(BUTTON_EXPAND, 1);
    const bool horizontal = IsHorizontal();
    RaisePanel(horizontal ? m_HorizontalPanel : m_VerticalPanel);
    const ce::Rect r = PanelRect(horizontal, true);
    ce::setWindowPos(hwnd(), ce::HWND_TOPMOST, r.left, r.top, r.width(), r.height(), ce::SWP_SHOWWINDOW);
    m_Guide.ResetRepeatCounts();
}

void CMainFrame::ToggleExpansion(bool fromHorizontal) {
    LoadConfig();  // the value on disk decides
    CBrowserWnd& sender = fromHorizontal ? m_HorizontalPanel : m_VerticalPanel;
    if (IsExpanded()) {
        g_ConfigInfo.m_bOnOff = 0;
        PostSubscription(false);
        sender.SetButtonValue(BUTTON_EXPAND, 0);
        BlankGuidanceCells(sender);
        sender.Layout().cells[CELL_SAFETY_TEXT].enabled = 0;
    } else {
        g_ConfigInfo.m_bOnOff = 1;
        PostSubscription(true);
        sender.SetButtonValue(BUTTON_EXPAND, 1);
        m_Guide.ResetRepeatCounts();
        sender.Layout().cells[CELL_SAFETY_TEXT].enabled = 1;
    }
    ResizeForExpansion(fromHorizontal);
    SaveConfig();
}

// The horizontal panel keeps the window's place in the z-order; the vertical one places the
// window topmost and shown first.
void CMainFrame::ResizeForExpansion(bool fromHorizontal) {
    const ce::Rect r = PanelRect(fromHorizontal, IsExpanded());
    if (!fromHorizontal) ce::setWindowPos(hwnd(), ce::HWND_TOPMOST, r.left, r.top, r.width(), r.height(), ce::SWP_SHOWWINDOW);
    ce::moveWindow(hwnd(), r.left, r.top, r.width(), r.height(), true);
}

}  // namespace panel
