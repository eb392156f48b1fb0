#include "updater/app/update_xan_app.h"

#include "updater/app/single_instance.h"
#include "updater/app/step_pages.h"
#include "updater/main_page/update_main_dlg.h"

namespace updater {

int RunUpdateXan() {
    SingleInstance instance;
    if (!instance.Acquire()) return 0;
    UpdateMainDlg mainPage(LinkedStepPages());
    mainPage.runModal();
    return 0;
}

}  // namespace updater
