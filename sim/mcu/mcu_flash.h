#pragma once
// The MCU's flash memory: erased cells read 0xFF, programming can only clear bits (a cell
// that was not erased keeps the AND of old and new), and every change is written through to
// a file (flash/mcu_flash.bin) so that tools and tests see the contents at any moment.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace sim::mcu {

class McuFlash {
public:
    // Contents start as given; with a file path every change is mirrored into that file.
    McuFlash(std::vector<uint8_t> contents, std::filesystem::path file = {});
    ~McuFlash();
    McuFlash(const McuFlash&) = delete;
    McuFlash& operator=(const McuFlash&) = delete;

    // The contents a device comes with: old firmware, all blank, or what the file holds (when
    // it has the right size; else old firmware).
    static std::vector<uint8_t> oldFirmware(uint32_t size);
    static std::vector<uint8_t> blank(uint32_t size) { return std::vector<uint8_t>(size, 0xFF); }
    static std::vector<uint8_t> loadOr(const std::filesystem::path& file, std::vector<uint8_t> fallback);

    uint32_t size() const { return static_cast<uint32_t>(cells_.size()); }
    const std::vector<uint8_t>& contents() const { return cells_; }

    bool isBlank(uint32_t first, uint32_t last) const;  // inclusive range, inside the flash
    void eraseAll();
    // Programs bytes at address; false when a cell could not take its value (it was not erased).
    bool program(uint32_t address, const uint8_t* data, uint32_t size);
    bool equals(uint32_t address, const uint8_t* data, uint32_t size) const;

private:
    void mirror(uint32_t address, uint32_t size);

    std::vector<uint8_t> cells_;
    int fd_ = -1;
};

}  // namespace sim::mcu
