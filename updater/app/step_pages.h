#pragma once
// The MCU and Bluetooth step pages this program is linked with.

#include "updater/main_page/update_main_dlg.h"

namespace updater {

StepPages LinkedStepPages();

}  // namespace updater
