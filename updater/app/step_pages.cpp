#include "updater/app/step_pages.h"

#include "updater/bluetooth/update_bluetooth.h"
#include "updater/mcu_step/update_micom.h"

namespace updater {

StepPages LinkedStepPages() {
    StepPages pages;
    pages.micom = [](ce::HWND owner) { return RunUpdateMicom(owner); };
    pages.bluetooth = [](ce::HWND owner) { return RunUpdateBluetooth(owner); };
    return pages;
}

}  // namespace updater
