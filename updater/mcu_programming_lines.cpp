#include "updater/mcu_programming_lines.h"

#include "platform/core/time.h"
#include "updater/gpio_request.h"

namespace updater {

void SwitchOnMcuProgrammingSupply() { GpioSetRequest(kMcuPort, kMcuProgrammingSupply, 1); }

void EnterMcuProgrammingMode() {
    GpioSetRequest(kMcuPort, kMcuProgrammingSupply, 1);
    ce::sleep(10);
    GpioSetRequest(kMcuPort, kMcuResetLine, 0);
    ce::sleep(10);
    GpioSetRequest(kMcuPort, kMcuModeLine, 1);
    GpioSetRequest(kMcuPort, kMcuResetLine, 1);
    ce::sleep(20);
}

}  // namespace updater
