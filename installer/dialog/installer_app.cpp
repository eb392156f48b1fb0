#include "installer/dialog/installer_app.h"

#include "installer/dialog/installer_dlg.h"

namespace installer {

int CInstallerApp::Run() {
    CInstallerDlg dialog(m_Process);
    dialog.runModal();
    return 0;
}

}  // namespace installer
