#pragma once
// The board driver "ORV1:" and the OEM kernel control handler of the simulated head unit.
//
// "ORV1:" accepts the GPIO set request (code 0x223F88): an 8-byte record of level (1 high,
// 0 low), port, two reserved bytes and a 32-bit little-endian mask. The lines change in the
// order the requests arrive and are logged (gpio_log.h). Every OEM kernel control call is
// recorded in flash/oem.log, one JSON object a line: {"t_ms":…,"code":16912624,"input":"01","pid":…}.
//
// headunit.json "sim": {"board": {...}} may inject failures (see fault_plan.h for the values):
//   "failOpen"     the open of "ORV1:" fails (ERROR_DEV_NOT_EXIST)
//   "failGpioSet"  a GPIO set request fails (ERROR_GEN_FAILURE) and drives nothing
//   "failOem"      a kernel control call fails (ERROR_GEN_FAILURE); it is still recorded

#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/devices/device.h"

namespace sim {

inline constexpr uint32_t IOCTL_GPIO_SET = 0x223F88;

// Registers "ORV1:" and the kernel control handler; state goes under the registry's head unit.
void registerBoardDrivers(ce::DriverRegistry& registry);

struct OemCall {
    uint64_t t_ms = 0;
    uint32_t code = 0;
    std::vector<uint8_t> input;
    int pid = 0;
    bool failed = false;  // refused by an injected failure
};

std::vector<OemCall> readOemCalls(const std::filesystem::path& root);

}  // namespace sim
