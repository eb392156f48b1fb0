#pragma once
// What ThreadWatchComm does with one "characters received" event: read everything the port
// has queued into the 1000-byte staging area, pausing 10 ms after each read so that the rest
// of a frame in flight can arrive, and move the staged bytes on into the receive buffer.
//
// The staging area is never written past its end: when the port holds more than the free
// space, only the free space is read, the staged bytes are moved on, and reading goes on into
// the emptied area.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace mculoader {

class StagingArea {
public:
    static constexpr size_t kSize = 1000;

    uint8_t* WritePosition() { return bytes_ + count_; }
    size_t FreeSpace() const { return kSize - count_; }
    void Advance(size_t n) { count_ += n; }
    const uint8_t* Data() const { return bytes_; }
    size_t Count() const { return count_; }
    void Reset() { count_ = 0; }

private:
    uint8_t bytes_[kSize] = {};
    size_t count_ = 0;
};

struct ReceivePort {
    std::function<uint32_t()> queuedBytes;                       // ClearCommError's input count
    std::function<uint32_t(uint8_t* to, uint32_t size)> read;    // bytes read (0 on failure)
    std::function<void()> pauseAfterRead;                        // 10 ms on the device
};

// Reads one event's bytes; moveOn receives each staged batch (possibly empty, which still
// signals that the event happened). Returns the number of bytes read.
size_t PumpReceivedBytes(StagingArea& staging, const ReceivePort& port,
                         const std::function<void(const uint8_t*, size_t)>& moveOn);

}  // namespace mculoader
