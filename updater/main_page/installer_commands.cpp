// The main page's two installer buttons: the VR DB installer (a program outside the system)
// and the panel installer. Each starts its program without waiting and hides its button.

#include "platform/core/process.h"
#include "updater/main_page/update_main_dlg.h"
#include "updater/package/package_checks.h"
#include "updater/package/package_paths.h"

namespace updater {

void UpdateMainDlg::OnVrdbUpdate() {
    if (!VrdbFilesComplete()) {
        ce::messageBox(hwnd(), "Please Check! VR DB Files.", "UpdateXan");
        return;
    }
    if (ce::createProcess(paths::kVrdbInstaller) == ce::ERROR_SUCCESS) {
        m_bVrdbStarted = true;
        ShowButton(IDC_VRDB, false);
    } else {
        ce::messageBox(hwnd(), "Please Check! VRDB_Update.exe", "UpdateXan");
    }
}

void UpdateMainDlg::OnZekUpdate() {
    if (!PanelFilesComplete()) {
        ce::messageBox(hwnd(), "Please Check! ZEK Files.", "UpdateXan");
        return;
    }
    if (ce::createProcess(paths::kPanelInstaller) == ce::ERROR_SUCCESS) {
        m_bPanelStarted = true;
        ShowButton(IDC_ZEK, false);
    } else {
        ce::messageBox(hwnd(), "Please Check! ZEK_Update.exe", "UpdateXan");
    }
}

}  // namespace updater
