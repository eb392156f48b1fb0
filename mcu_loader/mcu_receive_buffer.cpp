#include "mcu_loader/mcu_receive_buffer.h"

#include <cstring>

#include "mcu_loader/mcu_frames.h"

namespace mculoader {

McuReceiveBuffer::AppendResult McuReceiveBuffer::Append(const uint8_t* data, size_t count) {
    std::lock_guard lock(mutex_);
    AppendResult result;
    if (count_ + count > kFullLimit) {
        result = {true, count_, frameStart_};
        count_ = 0;
        frameStart_ = 0;
    }
    if (count > kFullLimit) {
        data += count - kFullLimit;
        count = kFullLimit;
    }
    std::memcpy(bytes_ + count_, data, count);
    count_ += count;
    return result;
}

std::optional<std::vector<uint8_t>> McuReceiveBuffer::TakeFrame() {
    std::lock_guard lock(mutex_);
    while (frameStart_ < count_) {
        const uint8_t* at = bytes_ + frameStart_;
        size_t available = count_ - frameStart_;
        switch (CheckMcuFrame(at, available)) {
            case FrameCheck::Incomplete:
                return std::nullopt;
            case FrameCheck::NotAFrame:
            case FrameCheck::BadSum:
                ++frameStart_;  // a real frame may begin inside what looked like one
                break;
            case FrameCheck::Valid: {
                size_t length = size_t{at[1]} + 4;
                std::vector<uint8_t> frame(at, at + length);
                size_t rest = available - length;
                std::memmove(bytes_, at + length, rest);
                count_ = rest;
                frameStart_ = 0;
                return frame;
            }
        }
    }
    return std::nullopt;
}

void McuReceiveBuffer::Clear() {
    std::lock_guard lock(mutex_);
    count_ = 0;
    frameStart_ = 0;
}

size_t McuReceiveBuffer::Count() const {
    std::lock_guard lock(mutex_);
    return count_;
}

}  // namespace mculoader
