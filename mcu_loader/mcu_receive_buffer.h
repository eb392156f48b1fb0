#pragma once
// McuReceiveBuffer: the bytes received from the MCU, in which the loader looks for the MCU's
// frames.
//
// ThreadWatchComm appends each batch of received bytes; the update thread takes the frames out.
// Why a frame is taken out rather than the buffer emptied: the MCU may send two frames close
// together (a block's status and the internal-verify status, the signature's status and its
// data), and both may arrive in one read; emptying the buffer after the first would lose the
// second. So taking a frame keeps every byte after it.
//
// Promises: the buffer never holds more than 900 bytes after an append (it is emptied first
// when a batch would pass that, as the MCU never has that much to say at once); a frame is
// only handed out complete and with a valid checksum; bytes that cannot start a frame (line
// noise) and frames with a bad checksum are skipped. Safe to use from the receive thread and
// the update thread at once.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace mculoader {

class McuReceiveBuffer {
public:
    static constexpr size_t kSize = 1008;
    static constexpr size_t kFullLimit = 900;

    struct AppendResult {
        bool emptiedFirst = false;  // the batch would have passed 900 bytes
        size_t countBefore = 0;     // receive count and frame start before emptying (for the log)
        size_t frameStartBefore = 0;
    };
    // A batch longer than the buffer keeps only its last kFullLimit bytes.
    AppendResult Append(const uint8_t* data, size_t count);

    // The first complete valid frame (STX LEN data SUM ETX, whole), removed together with
    // everything before it; nothing while no complete frame is there.
    std::optional<std::vector<uint8_t>> TakeFrame();

    // Empties the buffer: receive count and frame start offset to 0.
    void Clear();

    size_t Count() const;

private:
    mutable std::mutex mutex_;
    uint8_t bytes_[kSize] = {};
    size_t count_ = 0;       // receive count
    size_t frameStart_ = 0;  // where the next frame is looked for; bytes before it are noise
};

}  // namespace mculoader
