#pragma once
// DfuDevice: the module's firmware-upgrade function, a DFU 1.1 device reached through
// requests on BCSP channel 12.
//
// Each request is the 8-byte setup block (bmRequestType, bRequest, wValue, wIndex, wLength,
// little-endian) followed, for host-to-device requests, by wLength data bytes. Every request
// is answered with 4 bytes (bRequest, result 0 = done / 1 = stalled, data length) and then
// the data. In application mode the module knows only GETSTATUS (appIDLE, appDETACH), DETACH
// and the reset that restarts it in DFU mode. In DFU mode it takes the image block by block
// in order, can report dfuDNBUSY with a poll time-out, manifests the image after the
// zero-length final download and then reports dfuIDLE with the image complete. While busy
// it stalls any request that comes before its poll time-out has passed and goes to dfuERROR,
// as DFU 1.1 has it; a lenient device holds such a request until it is ready instead.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "sim/bluetooth/bcsp_wire.h"

namespace sim::bluetooth {

struct DfuSettings {
    uint16_t transferSize = 1024;  // reported in the function descriptor (may exceed 1024)
    uint32_t busyMs = 0;           // > 0: dfuDNBUSY with this poll time-out after a block
    bool busyLastOnly = false;     // only after a block shorter than the transfer size
    bool lenientBusy = false;      // a request while busy waits for the block instead of failing
    uint32_t manifestMs = 0;       // > 0: dfuMANIFEST-SYNC / dfuMANIFEST for this long after the final download
    int errorAtBlock = -1;         // >= 0: the block with this number puts the device in dfuERROR
    bool startInDfuMode = false;
};

class DfuDevice {
public:
    using Clock = std::chrono::steady_clock;
    using Log = std::function<void(const std::string&)>;

    enum class Restart { None, Application, Dfu };

    struct Outcome {
        Bytes answer;                 // payload of the answer packet
        Restart restart = Restart::None;  // after the answer has gone out
    };

    DfuDevice(DfuSettings settings, Log log);

    // A (re)start of the module's firmware in application or DFU mode.
    void boot(bool dfuMode);

    Outcome handle(const Bytes& request, Clock::time_point now);

    // Requests that arrive before this time wait: a lenient device is busy writing a block. A
    // strict one holds nothing: it takes each request as it comes.
    Clock::time_point busyUntil() const { return settings_.lenientBusy ? busyUntil_ : Clock::time_point{}; }

    bool dfuMode() const { return dfuMode_; }
    uint8_t state() const { return state_; }
    bool imageComplete() const { return complete_; }
    const Bytes& image() const { return image_; }
    int blocksReceived() const { return blocksReceived_; }
    int manifestations() const { return manifestations_; }  // images completed so far

    static const char* StateName(uint8_t state);

private:
    struct Setup {
        uint8_t requestType, request;
        uint16_t value, index, length;
    };

    Outcome getStatus(Clock::time_point now);
    Outcome download(const Setup& setup, const Bytes& data, Clock::time_point now);
    Outcome stall(const Setup& setup, const std::string& why);
    Outcome fail(const Setup& setup, uint8_t status, const std::string& why);
    Bytes answer(uint8_t request, uint8_t result, const Bytes& data) const;
    Bytes statusBytes(uint32_t pollTimeout) const;

    DfuSettings settings_;
    Log log_;
    bool dfuMode_ = false;
    uint8_t state_ = 0;
    uint8_t status_ = 0;
    uint16_t nextBlock_ = 0;
    bool blockPending_ = false;   // a block arrived and its status has not been asked yet
    bool lastBlockShort_ = false;
    bool manifested_ = false;
    Clock::time_point manifestDone_{};
    Clock::time_point busyUntil_{};
    Bytes received_;              // blocks of the download in progress
    Bytes image_;                 // the last complete image
    bool complete_ = false;
    int blocksReceived_ = 0;
    int manifestations_ = 0;
};

}  // namespace sim::bluetooth
