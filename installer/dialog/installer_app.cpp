#include "installer/dialog/installer_app.h"

#include "installer/dialog/installer_dlg.h"
#include "platform/core/debug.h"
#include "platform/core/process.h"
#include "platform/core/time.h"
#include "platform/ui/window.h"

namespace installer {

namespace {

// Two installers would delete and copy the same tree side by side (a second press of the
// updater's button starts one): the head unit runs one at a time, whatever folder it was
// started from. A second start brings the running one to the front and ends.
constexpr const char* kInstanceMutex = "ZEK_Update";
constexpr int kWindowSearches = 20;
constexpr uint32_t kSearchPauseMs = 100;

void bringRunningInstallerToFront() {
    for (int search = 0; search < kWindowSearches; ++search) {
        if (ce::HWND running = ce::findWindow("ZEK_UPDATE")) {
            ce::setForegroundWindow(running);
            return;
        }
        ce::sleep(kSearchPauseMs);
    }
}

}  // namespace

int CInstallerApp::Run() {
    auto instance = ce::NamedMutex::create(kInstanceMutex);
    if (instance && (*instance)->alreadyExisted()) {
        ce::debugPrint("ZEK_Update is running already\r\n");
        bringRunningInstallerToFront();
        return 0;
    }
    CInstallerDlg dialog(m_Process);
    dialog.runModal();
    return 0;
}

}  // namespace installer
