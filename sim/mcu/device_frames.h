#pragma once
// The frames the firmware sends: status frames (ST1, and ST2 after a data frame of a
// transfer) and the silicon signature's data frame in each chip's layout.

#include <cstdint>
#include <string>
#include <vector>

namespace sim::mcu {

struct McuOptions;

// STX LEN data... SUM ETX
std::vector<uint8_t> deviceFrame(const std::vector<uint8_t>& data);
inline std::vector<uint8_t> statusFrame(uint8_t st1) { return deviceFrame({st1}); }
inline std::vector<uint8_t> statusFrame(uint8_t st1, uint8_t st2) { return deviceFrame({st1, st2}); }

// The signature bytes. Every byte is a 7-bit value with odd parity in its top bit, as the
// firmware sends it.
//   chip 0: D0 vendor, D1-D3 device id, D4-D6 last address (low, middle, high 7 bits),
//           D7-D16 device name, D17 reserved, D18 block count, D19-D21 firmware version
//   chip 1: D0 vendor, D1-D2 device id, D3-D5 last address, D6-D15 device name,
//           D16 block count, D17-D19 firmware version
std::vector<uint8_t> signatureData(const McuOptions& options);

uint8_t withOddParity(uint8_t sevenBits);

}  // namespace sim::mcu
