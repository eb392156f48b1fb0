#pragma once
// The NAND block driver "DSK1:" as the OS page uses it: opened for one phase (read and write
// access, no sharing, open always, normal + write-through) and closed at its end, with three
// requests. Each request passes a record of 32-bit little-endian fields whose address fields
// carry the caller's own buffers; the driver runs in the caller's process and reads them
// directly. The buffers are DeviceBuffers so that their addresses fit those fields.
//
// When the driver cannot be opened the object still exists and every request fails, so a
// phase runs to its end and reports its own failure.

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/devices/device.h"
#include "platform/devices/device_buffer.h"

namespace updater {

inline constexpr uint32_t IOCTL_NAND_WRITE_PAGES = 0x222804;    // Nand_HDWritePage
inline constexpr uint32_t IOCTL_NAND_BOOTLOADER = 0x22280C;
inline constexpr uint32_t IOCTL_NAND_HIDDEN_WRITE = 0x222814;

inline constexpr uint32_t kNandSectorSize = 512;       // a sector of the kernel area
inline constexpr uint32_t kNandHiddenPageSize = 512;   // a page of the hidden (logo) area

class NandDriver {
public:
    static NandDriver Open();

    bool IsOpen() const { return device_ != nullptr; }

    // Writes sectorCount sectors (sectorCount * 512 bytes of buffer) from firstSector on.
    bool WritePages(uint32_t firstSector, uint32_t sectorCount, const ce::DeviceBuffer& buffer);

    // Hands the driver a buffer holding the NUL-terminated UTF-16LE device path of the
    // bootloader image; the driver reads that file and writes the bootloader area itself.
    bool WriteBootloader(const ce::DeviceBuffer& nulTerminatedPath);

    // Writes pageCount pages of 512 bytes from buffer into the hidden area from page on.
    bool WriteHiddenPages(uint32_t page, uint32_t pageCount, const ce::DeviceBuffer& buffer);

private:
    explicit NandDriver(std::unique_ptr<ce::Device> device) : device_(std::move(device)) {}
    std::unique_ptr<ce::Device> device_;
};

}  // namespace updater
