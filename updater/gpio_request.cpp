#include "updater/gpio_request.h"

#include <cstring>

#include "platform/core/debug.h"
#include "platform/core/files.h"
#include "platform/devices/device.h"

namespace updater {

void GpioSetRequest(uint8_t port, uint32_t mask, uint8_t level) {
    auto driver = ce::Device::open("ORV1:", ce::GENERIC_READ | ce::GENERIC_WRITE, 0, ce::OPEN_ALWAYS, 0x80000080);
    if (!driver) {
        // The board driver's open failure carries this text on the device as well.
        ce::debugPrint("Cannot Open NAND Driver...");
        return;
    }
    uint8_t record[8] = {};
    record[0] = level;
    record[1] = port;
    record[4] = static_cast<uint8_t>(mask);
    record[5] = static_cast<uint8_t>(mask >> 8);
    record[6] = static_cast<uint8_t>(mask >> 16);
    record[7] = static_cast<uint8_t>(mask >> 24);
    if ((*driver)->ioControl(IOCTL_ORV_GPIO_SET, record, sizeof record, nullptr, 0) != ce::ERROR_SUCCESS) {
        ce::debugPrint("## ORV:GPIO Set Error!! \r\n");
    }
}

}  // namespace updater
