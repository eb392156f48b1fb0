#include "panel/frame/main_frame.h"

#include "panel/config/zek_config.h"
#include "panel/frame/app_profile.h"
#include "panel/frame/panel_messages.h"
#include "panel/guidance/guidance_codes.h"
#include "panel/guidance/panel_layouts.h"
#include "panel/images/image_store.h"
#include "platform/core/debug.h"
#include "platform/gfx/font.h"
#include "platform/ui/message.h"

namespace panel {

namespace {

constexpr int kHorizontalPanelId = 1001;
constexpr int kVerticalPanelId = 1002;
constexpr int kCollapsedWidth = 40;

}  // namespace

ce::Rect PanelRect(bool horizontal, bool expanded) {
    if (horizontal) return ce::Rect{0, 330, expanded ? 800 : kCollapsedWidth, 480};
    return ce::Rect{0, 0, expanded ? 250 : kCollapsedWidth, 480};
}

CMainFrame::CMainFrame(CImageStore& store) : m_Store(store) {
    if (ce::addFontResource(kFontFilePath) > 0) ce::debugPrint("AddFontResource True\r\n");
    else ce::debugPrint("AddFontResource Fail\r\n");
    m_Guide.ResetRepeatCounts();
    m_Guide.m_nBlink = 0;
    ce::debugPrint("### Kelo ZEK Start!!!\r\n");
}

CMainFrame::~CMainFrame() {
    destroy();
    ce::debugPrint("### Kelo ZEK End!!!\r\n");
    ce::removeFontResource(kFontFilePath);
}

bool CMainFrame::LoadFrame() {
    ce::WindowSpec spec;
    spec.className = "Kelo_ZEK";
    spec.title = std::string(kApplicationName);
    spec.style = ce::WS_POPUP;
    spec.rect = ce::Rect{};  // covers nothing until the first show request places it
    return create(spec) == ce::ERROR_SUCCESS;
}

CBrowserWnd& CMainFrame::CurrentPanel() { return IsHorizontal() ? m_HorizontalPanel : m_VerticalPanel; }

PanelPair CMainFrame::Panels() { return PanelPair{m_HorizontalPanel, m_VerticalPanel, IsHorizontal()}; }

ce::LRESULT CMainFrame::windowProc(ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam) {
    if (m_nBroadcastMsg != 0 && msg == m_nBroadcastMsg) {
        OnBroadcast(wParam, lParam);
    } else {
        switch (msg) {
            case ce::WM_CREATE:
                if (OnCreate() == -1) return -1;
                break;
            case WM_HORIZONTAL_BUTTON:
            case WM_VERTICAL_BUTTON:
                OnPanelButton(msg == WM_HORIZONTAL_BUTTON, wParam);
                break;
            case WM_SHOW_PANEL:
                OnShowRequest(wParam != 0);
                break;
            case WM_GUIDE_SUBSCRIPTION:
                SetKeloGuideInfo(wParam != 0);
                break;
            case ce::WM_COPYDATA:
                if (OnCopyData(lParam) == -1) return -1;
                break;
            case ce::WM_TIMER:
                OnTimer(wParam);
                break;
            case ce::WM_DESTROY:
                ce::postQuitMessage(0);
                break;
            default:
                break;
        }
    }
    return ce::Window::windowProc(msg, wParam, lParam);
}

int CMainFrame::OnCreate() {
    ce::debugPrint("====================================\r\n");
    ce::debugPrint("Kelo ZEK Program Start =============\r\n");
    ce::debugPrint("====================================\r\n");
    WriteProfileInt("data", "hwnd", hwnd());
    m_hOwnWnd = hwnd();
    m_nBroadcastMsg = ce::registerWindowMessage(kBroadcastMessageName);
    ce::setWindowText(hwnd(), kMainWindowTitle);
    CreatePanels();
    ce::setWindowPos(hwnd(), 0, 0, 0, 0, 0, ce::SWP_HIDEWINDOW | ce::SWP_NOMOVE | ce::SWP_NOSIZE | ce::SWP_NOZORDER);
    return 0;
}

void CMainFrame::CreatePanels() {
    m_Store.LoadAll();
    m_HorizontalPanel.SetLayout(HorizontalLayout(&m_Store));
    m_HorizontalPanel.Create(hwnd(), 0, 0, 800, 150, kHorizontalPanelId);
    m_VerticalPanel.SetLayout(VerticalLayout(&m_Store));
    m_VerticalPanel.Create(hwnd(), 0, 0, 250, 480, kVerticalPanelId);

    LoadConfig();
    ce::debugPrint("g_ConfigInfo.m_nScreenType : %d\r\n", g_ConfigInfo.m_nScreenType);
    ce::debugPrint("g_ConfigInfo.m_bOnOff : %d\r\n", g_ConfigInfo.m_bOnOff);
    const bool expanded = IsExpanded();
    PostSubscription(expanded);
    for (CBrowserWnd* panel : {&m_HorizontalPanel, &m_VerticalPanel}) {
        if (!expanded) {
            BlankGuidanceCells(*panel);
            panel->Layout().cells[CELL_SAFETY_TEXT].enabled = 0;
        }
        panel->SetButtonValue(BUTTON_EXPAND, expanded ? 1 : 0);
    }
    RaisePanel(CurrentPanel());
}

void CMainFrame::BlankGuidanceCells(CBrowserWnd& panel) {
    for (int cell : {CELL_DISTANCE, CELL_ROAD_NAME_1, CELL_ROAD_NAME_2, CELL_SAFETY_TEXT, CELL_CAMERA_DISTANCE})
        panel.SetCellText(cell, u" ");
}

void CMainFrame::OnBroadcast(ce::WPARAM code, ce::LPARAM argument) {
    switch (code) {
        case BM_NOTIFY_DESTROY:
            ce::debugPrint("[Kelo ZEK] BM_NOTIFY_DESTROY\r\n");
            ce::postMessage(hwnd(), ce::WM_CLOSE, 0, 0);
            break;
        case BM_END_ROUTESEARCH:
            ce::debugPrint("[Kelo ZEK] BM_END_ROUTESEARCH\r\n");
            break;
        case BM_CURRENT_SPEED:
            m_nSpeed = static_cast<int>(argument);
            m_strSpeed = SpeedText(m_nSpeed);
            CurrentPanel().SetCellText(CELL_SPEED, m_strSpeed);
            CurrentPanel().SetCellText(CELL_SPEED_UNIT, u"Km/h");
            break;
        case BM_SET_START:
            ce::debugPrint("[Kelo ZEK] BM_SET_START\r\n");
            break;
        case BM_SET_GOAL:
            ce::debugPrint("[Kelo ZEK] BM_SET_GOAL\r\n");
            break;
        case BM_RAISE_PANEL:
            if (!m_bShown) break;
            PlacePanel();
            ce::setForegroundWindow(hwnd());
            break;
        case BM_END_GUIDE:
            ce::debugPrint("[Kelo ZEK] BM_END_GUIDE\r\n");
            BlankGuidanceCells(m_HorizontalPanel);
            BlankGuidanceCells(m_VerticalPanel);
            HidePanel();
            if (m_bShown) {
                PlacePanel();
                ce::setForegroundWindow(hwnd());
            }
            break;
        default:
            break;
    }
}

void CMainFrame::OnShowRequest(bool show) {
    if (show) {
        ce::killTimer(hwnd(), kShowTimer);
        ce::setTimer(hwnd(), kShowTimer, kShowDelayMs);
        return;
    }
    ce::debugPrint("[Kelo ZEK] Hide\r\n");
    ce::killTimer(hwnd(), kShowTimer);
    m_bShown = false;
    SetKeloGuideInfo(false);
    m_Guide.ResetRepeatCounts();
    HidePanel();
}

void CMainFrame::OnTimer(uintptr_t id) {
    if (id == kShowTimer) {
        ce::killTimer(hwnd(), kShowTimer);
        ce::debugPrint("[Kelo ZEK] Show %d\r\n", g_ConfigInfo.m_bOnOff);
        m_bShown = true;
        SetKeloGuideInfo(IsExpanded());
        PlacePanel();
    } else if (id == kGuideTimer) {
        if (m_bShown && IsExpanded()) RequestGuidance();
    }
}

ce::LRESULT CMainFrame::OnCopyData(ce::LPARAM lParam) {
    if (!m_bShown) return -1;
    const auto* data = reinterpret_cast<const ce::CopyDataStruct*>(lParam);
    if (!data || !data->lpData) return -1;
    const auto record = ParseGuidanceRecord(std::span<const uint8_t>(static_cast<const uint8_t*>(data->lpData), data->cbData));
    if (!record) return -1;
    RenderGuidance(*record, m_Guide, Panels(), m_Store);
    return 0;
}

}  // namespace panel
