#pragma once
// A buffer whose address fits the 32-bit address field of a driver request record.
//
// The device's driver records carry buffer addresses in 32-bit fields. On a 64-bit host an
// ordinary allocation lies above 4 GiB, so a program that fills such a field takes its buffer
// from here: zero-filled memory mapped below 4 GiB, freed when the object goes.

#include <cstddef>
#include <cstdint>

#include "platform/core/error.h"

namespace ce {

class DeviceBuffer {
public:
    // ERROR_NOT_ENOUGH_MEMORY when no low memory is left (or size is 0).
    static Result<DeviceBuffer> allocate(size_t size);
    ~DeviceBuffer();
    DeviceBuffer(DeviceBuffer&& other) noexcept;
    DeviceBuffer& operator=(DeviceBuffer&& other) noexcept;
    DeviceBuffer(const DeviceBuffer&) = delete;
    DeviceBuffer& operator=(const DeviceBuffer&) = delete;

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    uint32_t address32() const { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data_)); }

private:
    DeviceBuffer(uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace ce
