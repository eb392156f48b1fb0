#include "sim/mcu/mcu_flash.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace sim::mcu {

McuFlash::McuFlash(std::vector<uint8_t> contents, std::filesystem::path file) : cells_(std::move(contents)) {
    if (file.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) throw std::runtime_error("mcu: cannot write " + file.string() + ": " + std::strerror(errno));
    mirror(0, size());
}

McuFlash::~McuFlash() {
    if (fd_ >= 0) ::close(fd_);
}

std::vector<uint8_t> McuFlash::oldFirmware(uint32_t size) {
    // Something that is neither blank nor any image a test would write: a counting pattern
    // with the top bits of the address mixed in.
    std::vector<uint8_t> cells(size);
    for (uint32_t a = 0; a < size; ++a) cells[a] = static_cast<uint8_t>((a * 7) ^ (a >> 8) ^ 0x5A);
    return cells;
}

std::vector<uint8_t> McuFlash::loadOr(const std::filesystem::path& file, std::vector<uint8_t> fallback) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return fallback;
    std::vector<uint8_t> stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return stored.size() == fallback.size() ? stored : fallback;
}

bool McuFlash::isBlank(uint32_t first, uint32_t last) const {
    return std::all_of(cells_.begin() + first, cells_.begin() + last + 1, [](uint8_t c) { return c == 0xFF; });
}

void McuFlash::eraseAll() {
    std::fill(cells_.begin(), cells_.end(), 0xFF);
    mirror(0, size());
}

bool McuFlash::program(uint32_t address, const uint8_t* data, uint32_t count) {
    bool tookAll = true;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t& cell = cells_[address + i];
        cell &= data[i];
        tookAll = tookAll && cell == data[i];
    }
    mirror(address, count);
    return tookAll;
}

bool McuFlash::equals(uint32_t address, const uint8_t* data, uint32_t count) const {
    return std::equal(data, data + count, cells_.begin() + address);
}

void McuFlash::mirror(uint32_t address, uint32_t count) {
    if (fd_ < 0) return;
    const uint8_t* p = cells_.data() + address;
    off_t at = address;
    while (count > 0) {
        ssize_t n = ::pwrite(fd_, p, count, at);
        if (n <= 0) return;  // the mirror is best effort; the device itself keeps working
        p += n;
        at += n;
        count -= static_cast<uint32_t>(n);
    }
}

}  // namespace sim::mcu
