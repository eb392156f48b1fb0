#pragma once
// The GPIO set request to the board driver "ORV1:": drive the masked lines of one port high
// or low. Used by the update sequence, the emergency blink, the MCU page and the Bluetooth page.

#include <cstdint>

namespace updater {

inline constexpr uint32_t IOCTL_ORV_GPIO_SET = 0x223F88;

// Each request opens the driver, sends one 8-byte record (level, port, 2 reserved bytes,
// 32-bit little-endian mask) and closes it again. Failures are only logged; no caller
// changes its course because of them.
void GpioSetRequest(uint8_t port, uint32_t mask, uint8_t level);

}  // namespace updater
