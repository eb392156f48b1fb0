#include "updater/nand/nand_driver.h"

#include <array>
#include <initializer_list>

#include "platform/core/files.h"

namespace updater {

namespace {

// A request record: consecutive 32-bit little-endian fields.
template <size_t N>
std::array<uint8_t, N * 4> Record(std::initializer_list<uint32_t> fields) {
    std::array<uint8_t, N * 4> bytes{};
    size_t at = 0;
    for (uint32_t field : fields) {
        for (int shift = 0; shift < 32; shift += 8) bytes[at++] = static_cast<uint8_t>(field >> shift);
    }
    return bytes;
}

// Both page writes name an output size of 4 bytes without giving an output buffer.
constexpr uint32_t kPageWriteOutputSize = 4;

}  // namespace

NandDriver NandDriver::Open() {
    auto device = ce::Device::open("DSK1:", ce::GENERIC_READ | ce::GENERIC_WRITE, 0, ce::OPEN_ALWAYS, 0x80000080);
    return NandDriver(device ? std::move(device.value()) : nullptr);
}

bool NandDriver::WritePages(uint32_t firstSector, uint32_t sectorCount, const ce::DeviceBuffer& buffer) {
    if (!device_) return false;
    auto record = Record<3>({firstSector, sectorCount, buffer.address32()});
    return device_->ioControl(IOCTL_NAND_WRITE_PAGES, record.data(), record.size(), nullptr, kPageWriteOutputSize) ==
           ce::ERROR_SUCCESS;
}

bool NandDriver::WriteBootloader(const ce::DeviceBuffer& nulTerminatedPath) {
    if (!device_) return false;
    auto record = Record<2>({nulTerminatedPath.address32(), 0});
    return device_->ioControl(IOCTL_NAND_BOOTLOADER, record.data(), record.size(), nullptr, 0) == ce::ERROR_SUCCESS;
}

bool NandDriver::WriteHiddenPages(uint32_t page, uint32_t pageCount, const ce::DeviceBuffer& buffer) {
    if (!device_) return false;
    auto record = Record<4>({0, page, pageCount, buffer.address32()});
    return device_->ioControl(IOCTL_NAND_HIDDEN_WRITE, record.data(), record.size(), nullptr, kPageWriteOutputSize) ==
           ce::ERROR_SUCCESS;
}

}  // namespace updater
