#include "platform/devices/device_buffer.h"

#include <sys/mman.h>

#include <utility>

namespace ce {

namespace {

constexpr uintptr_t kFourGiB = uintptr_t(1) << 32;

// Anonymous zeroed memory below 4 GiB, or nullptr.
uint8_t* mapLow(size_t size) {
#ifdef MAP_32BIT
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (p != MAP_FAILED && reinterpret_cast<uintptr_t>(p) + size <= kFourGiB) return static_cast<uint8_t*>(p);
    if (p != MAP_FAILED) ::munmap(p, size);
#endif
    // Elsewhere: ask for free places below 4 GiB one after another.
    for (uintptr_t hint = 0x10000000; hint + size <= kFourGiB; hint += 0x10000000) {
        void* p = ::mmap(reinterpret_cast<void*>(hint), size, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
        if (p != MAP_FAILED) return static_cast<uint8_t*>(p);
    }
    return nullptr;
}

}  // namespace

Result<DeviceBuffer> DeviceBuffer::allocate(size_t size) {
    if (size == 0 || size >= kFourGiB) return fail(ERROR_NOT_ENOUGH_MEMORY);
    uint8_t* data = mapLow(size);
    if (data == nullptr) return fail(ERROR_NOT_ENOUGH_MEMORY);
    return DeviceBuffer(data, size);
}

DeviceBuffer::~DeviceBuffer() {
    if (data_) ::munmap(data_, size_);
}

DeviceBuffer::DeviceBuffer(DeviceBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

DeviceBuffer& DeviceBuffer::operator=(DeviceBuffer&& other) noexcept {
    if (this != &other) {
        if (data_) ::munmap(data_, size_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

}  // namespace ce
