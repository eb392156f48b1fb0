#pragma once
// The NAND block driver "DSK1:" of the simulated head unit, over the flash image (flash_image.h).
//
// Requests (fields 32-bit little-endian; "address" is a buffer in the caller's memory):
//   0x222804 write-pages   first sector, sector count, address            -> count x 512 bytes
//   0x22280C bootloader    address of a NUL-terminated UTF-16 device path  -> the driver reads
//                          that file itself and makes its bytes the bootloader area
//   0x222814 hidden write  0, first page, page count, address              -> count x 512 bytes
// On a 64-bit host an address field may also be 64 bits wide, told apart by the record size:
// write-pages 16 bytes (address at offset 8); bootloader 8 bytes (one 64-bit address, which
// equals the 32-bit address and its 0); hidden write 20 bytes (address at 12) or 24 bytes
// (address at 16, as a C struct lays it out). A null or unreadable address, a count of 0 or
// a range past the end of the region is refused with ERROR_INVALID_PARAMETER; nothing of a
// refused request is written.
//
// headunit.json "sim": {"nand": {...}}:
//   "sectors", "hiddenPages", "bootloaderBytes"  size of each region (defaults 1048576
//                                                sectors, 8192 pages, 4 MiB)
//   "failOpen"          the open of "DSK1:" fails (ERROR_DEV_NOT_EXIST)
//   "failWritePages", "failBootloader", "failHiddenWrite"
//                       that request fails (ERROR_GEN_FAILURE) and writes nothing
// Failure values as in sim/board/fault_plan.h: true, a request number, or a list of them.

#include <cstdint>

#include "platform/devices/device.h"

namespace sim {

inline constexpr uint32_t IOCTL_NAND_WRITE_PAGES = 0x222804;
inline constexpr uint32_t IOCTL_NAND_BOOTLOADER = 0x22280C;
inline constexpr uint32_t IOCTL_NAND_HIDDEN_WRITE = 0x222814;

// Registers "DSK1:"; the image lives under the registry's head unit.
void registerNandDriver(ce::DriverRegistry& registry);

}  // namespace sim
