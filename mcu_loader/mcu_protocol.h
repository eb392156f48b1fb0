#pragma once
// The MCU's UART flash-programming protocol as the loader speaks it: frame bytes, command
// codes and the status byte that means "accepted".
//
//   command frame (to the MCU)   SOH LEN COM data... SUM ETX      LEN = data bytes + 1
//   data frame    (to the MCU)   STX LEN data...     SUM ETB|ETX  LEN 0x00 stands for 256
//   status / data (from the MCU) STX LEN data...     SUM ETX
// SUM makes the bytes from LEN up to and including SUM add up to 0 modulo 256.

#include <cstdint>

namespace mculoader {

inline constexpr uint8_t SOH = 0x01;
inline constexpr uint8_t STX = 0x02;
inline constexpr uint8_t ETX = 0x03;
inline constexpr uint8_t ETB = 0x17;
inline constexpr uint8_t ACK = 0x06;

inline constexpr uint8_t CMD_RESET = 0x00;
inline constexpr uint8_t CMD_VERIFY = 0x13;
inline constexpr uint8_t CMD_CHIP_ERASE = 0x20;
inline constexpr uint8_t CMD_BLANK_CHECK = 0x32;
inline constexpr uint8_t CMD_PROGRAMMING = 0x40;
inline constexpr uint8_t CMD_OSC_FREQUENCY_SET = 0x90;
inline constexpr uint8_t CMD_BAUD_RATE_SET = 0x9A;
inline constexpr uint8_t CMD_SILICON_SIGNATURE = 0xC0;

// The code a failed wait reports when no status frame came at all. Never 0, so that a
// missing answer can never read as "blank" or "written".
inline constexpr uint8_t NO_STATUS = 0xFF;

}  // namespace mculoader
