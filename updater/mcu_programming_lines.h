#pragma once
// The board lines of the MCU on GPIO port 2, as the MCU page drives them: 0x08 powers the MCU's
// programming interface, 0x40 is its reset line (low holds it in reset), 0x80 its mode line
// (high when the reset is released: the MCU starts its boot firmware).

#include <cstdint>

namespace updater {

inline constexpr uint8_t kMcuPort = 2;
inline constexpr uint32_t kMcuProgrammingSupply = 0x08;
inline constexpr uint32_t kMcuResetLine = 0x40;
inline constexpr uint32_t kMcuModeLine = 0x80;

// Switches the programming interface on (before the library starts).
void SwitchOnMcuProgrammingSupply();

// Supply on, reset low, mode line high, reset released, with the pauses the MCU needs
// (10 ms, 10 ms, 20 ms): the MCU is in its programming mode when this returns.
void EnterMcuProgrammingMode();

}  // namespace updater
