// The main window's requests to the navigation program: the guidance subscription and the
// once-a-second request for a record.

#include "panel/config/zek_config.h"
#include "panel/frame/main_frame.h"
#include "panel/frame/panel_messages.h"
#include "panel/guidance/panel_layouts.h"
#include "platform/core/debug.h"
#include "platform/ui/message.h"

namespace panel {

void CMainFrame::SetKeloGuideInfo(bool on) {
    if (on) {
        for (CBrowserWnd* panel : {&m_HorizontalPanel, &m_VerticalPanel}) {
            panel->SetCellText(CELL_ROAD_NAME_1, u" ");
            panel->SetCellText(CELL_ROAD_NAME_2, u" ");
        }
        ce::setTimer(hwnd(), kGuideTimer, kGuidePeriodMs);
    } else {
        ce::killTimer(hwnd(), kGuideTimer);
    }
    ce::LRESULT result = 0;
    if (const ce::HWND navigation = ce::findWindow(kNavigationTitle)) {
        const ce::CopyDataStruct subscription{kCopySubscribe, 0, nullptr};
        result = ce::sendMessage(navigation, ce::WM_COPYDATA, on ? static_cast<ce::WPARAM>(hwnd()) : 0,
                                 reinterpret_cast<ce::LPARAM>(&subscription));
    }
    ce::debugPrint("Set_Kelo_Guide_Info Ret : %d, On : %d\r\n", result, on ? 1 : 0);
}

void CMainFrame::RequestGuidance() {
    const ce::HWND navigation = ce::findWindow(kNavigationTitle);
    if (!navigation) return;
    const ce::CopyDataStruct request{kCopyRequest, 0, nullptr};
    ce::sendMessage(navigation, ce::WM_COPYDATA, 0, reinterpret_cast<ce::LPARAM>(&request));
}

// The subscription goes through the queue, to the window found by its title, so that it is
// handled after the message in progress.
void CMainFrame::PostSubscription(bool on) {
    ce::postMessage(ce::findWindow(kMainWindowTitle), WM_GUIDE_SUBSCRIPTION, on ? 1 : 0, 0);
}

}  // namespace panel
