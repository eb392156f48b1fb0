#include "panel/frame/kelo_app.h"

#include "panel/frame/main_frame.h"
#include "panel/frame/single_instance.h"
#include "panel/images/draw_surface.h"
#include "platform/ui/message.h"

namespace panel {

int CKelo_ZEKApp::Run() {
    std::unique_ptr<ce::NamedMutex> pathMutex;
    if (ActivateRunningInstance(&pathMutex)) return 0;
    const auto panelMutex = ClaimPanelMutex();
    if (!panelMutex) return 0;

    int exitCode = 0;
    {
        CMainFrame frame(m_ImageStore);
        if (!frame.LoadFrame()) return 0;
        ce::showWindow(frame.hwnd(), ce::SW_SHOW);
        ce::updateWindow(frame.hwnd());
        exitCode = ce::runMessageLoop();
    }
    ExitInstance();
    return exitCode;
}

void CKelo_ZEKApp::ExitInstance() {
    m_ImageStore.Destroy();
    BackBuffer().Destroy();
}

}  // namespace panel
