#pragma once
// Splits what the host sends into frames, as the firmware's UART receiver does: command
// frames (SOH), data frames (STX) and the single 0x00 bytes of the synchronisation. Bytes
// that cannot start a frame are line noise and are skipped; a frame left unfinished for too
// long is dropped, so a lost byte never wedges the receiver.

#include <cstdint>
#include <optional>
#include <vector>

namespace sim::mcu {

struct HostFrame {
    enum Kind { Sync, Command, Data } kind = Sync;
    uint8_t command = 0;            // Command frames
    std::vector<uint8_t> data;      // command data bytes, or the data of a data frame
    bool checksumOk = true;
    bool last = false;              // Data frames: terminated by ETX (not ETB)
    std::vector<uint8_t> raw;       // the frame as received, for the log
};

class HostFrameReader {
public:
    explicit HostFrameReader(uint32_t gapLimitMs = 200) : gapLimitMs_(gapLimitMs) {}

    // Takes the bytes received at time nowMs and returns every frame they complete.
    std::vector<HostFrame> feed(const uint8_t* bytes, size_t size, uint64_t nowMs);

    // Bytes skipped as noise since the last call (for the log).
    size_t takeSkipped();

    void clear() { pending_.clear(); }

private:
    std::optional<HostFrame> tryFrame();

    std::vector<uint8_t> pending_;
    uint64_t lastByteMs_ = 0;
    uint32_t gapLimitMs_;
    size_t skipped_ = 0;
};

}  // namespace sim::mcu
