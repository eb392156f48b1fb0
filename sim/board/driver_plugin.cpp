// The driver plugin of the simulated head unit (lib/libsim_drivers.so): the profile names it
// for "ORV1:", "DSK1:" and "OEM", and the platform loads it on the first open of one of them.

#include "platform/devices/device.h"
#include "sim/board/board_driver.h"
#include "sim/nand/nand_driver.h"

extern "C" __attribute__((visibility("default"))) void ce_register_drivers(ce::DriverRegistry& registry) {
    sim::registerBoardDrivers(registry);
    sim::registerNandDriver(registry);
}
