#include "sim/bluetooth/dfu_device.h"

#include <algorithm>

namespace sim::bluetooth {

namespace {

enum : uint8_t {
    appIDLE = 0,
    appDETACH = 1,
    dfuIDLE = 2,
    dfuDNLOAD_SYNC = 3,
    dfuDNBUSY = 4,
    dfuDNLOAD_IDLE = 5,
    dfuMANIFEST_SYNC = 6,
    dfuMANIFEST = 7,
    dfuMANIFEST_WAIT_RESET = 8,
    dfuUPLOAD_IDLE = 9,
    dfuERROR = 10,
};

// bStatus codes.
enum : uint8_t {
    OK = 0x00,
    errWRITE = 0x03,
    errADDRESS = 0x08,
    errNOTDONE = 0x09,
    errUNKNOWN = 0x0E,
    errSTALLEDPKT = 0x0F,
};

// bRequest codes.
enum : uint8_t {
    DETACH = 0x00,
    DNLOAD = 0x01,
    GETSTATUS = 0x03,
    CLRSTATUS = 0x04,
    GETSTATE = 0x05,
    ABORT = 0x06,
    RESET = 0x07,
    GET_DEVICE = 0x08,
    GET_FUNCTION = 0x09,
};

constexpr uint16_t kDetachTimeoutMs = 3000;

uint32_t millisLeft(DfuDevice::Clock::time_point until, DfuDevice::Clock::time_point now) {
    if (until <= now) return 0;
    return static_cast<uint32_t>(std::chrono::ceil<std::chrono::milliseconds>(until - now).count());
}

}  // namespace

const char* DfuDevice::StateName(uint8_t state) {
    static const char* const names[] = {"appIDLE", "appDETACH", "dfuIDLE", "dfuDNLOAD-SYNC",
                                        "dfuDNBUSY", "dfuDNLOAD-IDLE", "dfuMANIFEST-SYNC", "dfuMANIFEST",
                                        "dfuMANIFEST-WAIT-RESET", "dfuUPLOAD-IDLE", "dfuERROR"};
    return state <= dfuERROR ? names[state] : "?";
}

DfuDevice::DfuDevice(DfuSettings settings, Log log) : settings_(settings), log_(std::move(log)) {
    boot(settings_.startInDfuMode);
}

void DfuDevice::boot(bool dfuMode) {
    dfuMode_ = dfuMode;
    state_ = dfuMode ? dfuIDLE : appIDLE;
    status_ = OK;
    nextBlock_ = 0;
    blockPending_ = false;
    lastBlockShort_ = false;
    manifested_ = false;
    busyUntil_ = {};
    received_.clear();
}

Bytes DfuDevice::answer(uint8_t request, uint8_t result, const Bytes& data) const {
    Bytes out(4 + data.size());
    out[0] = request;
    out[1] = result;
    out[2] = static_cast<uint8_t>(data.size() & 0xFF);
    out[3] = static_cast<uint8_t>(data.size() >> 8);
    std::copy(data.begin(), data.end(), out.begin() + 4);
    return out;
}

Bytes DfuDevice::statusBytes(uint32_t pollTimeout) const {
    return {status_,
            static_cast<uint8_t>(pollTimeout & 0xFF),
            static_cast<uint8_t>((pollTimeout >> 8) & 0xFF),
            static_cast<uint8_t>((pollTimeout >> 16) & 0xFF),
            state_,
            0};
}

DfuDevice::Outcome DfuDevice::stall(const Setup& setup, const std::string& why) {
    log_("dfu: request " + std::to_string(setup.request) + " stalled: " + why);
    return {answer(setup.request, 1, {}), Restart::None};
}

DfuDevice::Outcome DfuDevice::fail(const Setup& setup, uint8_t status, const std::string& why) {
    state_ = dfuERROR;
    status_ = status;
    log_("dfu: " + why + " -> dfuERROR");
    return {answer(setup.request, 1, {}), Restart::None};
}

DfuDevice::Outcome DfuDevice::handle(const Bytes& request, Clock::time_point now) {
    if (request.size() < 8) {
        log_("dfu: request of " + std::to_string(request.size()) + " bytes ignored: " + HexBytes(request));
        return {answer(0xFF, 1, {}), Restart::None};
    }
    Setup setup{request[0], request[1], static_cast<uint16_t>(request[2] | (request[3] << 8)),
                static_cast<uint16_t>(request[4] | (request[5] << 8)),
                static_cast<uint16_t>(request[6] | (request[7] << 8))};
    Bytes data(request.begin() + 8, request.end());
    bool hostToDevice = (setup.requestType & 0x80) == 0;
    if (hostToDevice && data.size() != setup.length) {
        return fail(setup, errUNKNOWN,
                    "request " + std::to_string(setup.request) + " announces " + std::to_string(setup.length) +
                        " data bytes but carries " + std::to_string(data.size()));
    }
    if (!hostToDevice && !data.empty()) {
        return stall(setup, "device-to-host request carries data");
    }
    // A busy device has finished writing its block once its poll time-out has passed.
    if (state_ == dfuDNBUSY && now >= busyUntil_) state_ = dfuDNLOAD_SYNC;
    if (state_ == dfuDNBUSY && !settings_.lenientBusy) {
        return fail(setup, errSTALLEDPKT,
                    "request " + std::to_string(setup.request) + " " + std::to_string(millisLeft(busyUntil_, now)) +
                        " ms before the poll time-out");
    }

    switch (setup.request) {
        case GETSTATUS:
            if (setup.requestType != 0xA1) break;
            return getStatus(now);
        case DETACH:
            if (setup.requestType != 0x21) break;
            if (dfuMode_) return stall(setup, "DFU_DETACH in DFU mode");
            state_ = appDETACH;
            log_("dfu: DFU_DETACH (time-out " + std::to_string(setup.value) + " ms) -> appDETACH");
            return {answer(setup.request, 0, {}), Restart::None};
        case RESET: {
            if (setup.requestType != 0x41) break;
            Restart restart = Restart::Dfu;
            if (!dfuMode_ && state_ == appIDLE) restart = Restart::Application;
            if (dfuMode_ && complete_ && state_ == dfuIDLE) restart = Restart::Application;
            log_(std::string("dfu: reset in ") + StateName(state_) + " -> restart in " +
                 (restart == Restart::Dfu ? "DFU mode" : "application mode"));
            return {answer(setup.request, 0, {}), restart};
        }
        case GET_DEVICE: {
            if (setup.requestType != 0xC1) break;
            log_("dfu: get device");
            Bytes device = {0x12, 0x01, 0x10, 0x01, 0xF0, 0xFF, 0x01, 0x00, 0x34, 0x12, 0x01, 0x00};
            device.resize(std::min<size_t>(device.size(), setup.length));
            return {answer(setup.request, 0, device), Restart::None};
        }
        case GET_FUNCTION: {
            if (setup.requestType != 0xC1) break;
            log_("dfu: get function (transfer size " + std::to_string(settings_.transferSize) + ")");
            Bytes function = {0x21, 0x0B, kDetachTimeoutMs & 0xFF, kDetachTimeoutMs >> 8,
                              static_cast<uint8_t>(settings_.transferSize & 0xFF),
                              static_cast<uint8_t>(settings_.transferSize >> 8)};
            function.resize(std::min<size_t>(function.size(), setup.length));
            return {answer(setup.request, 0, function), Restart::None};
        }
        case DNLOAD:
            if (setup.requestType != 0x21) break;
            return download(setup, data, now);
        case CLRSTATUS:
            if (setup.requestType != 0x21 || state_ != dfuERROR) break;
            log_("dfu: clear status -> dfuIDLE");
            state_ = dfuIDLE;
            status_ = OK;
            return {answer(setup.request, 0, {}), Restart::None};
        case GETSTATE:
            if (setup.requestType != 0xA1) break;
            return {answer(setup.request, 0, {state_}), Restart::None};
        case ABORT:
            if (setup.requestType != 0x21 || !dfuMode_) break;
            log_("dfu: abort -> dfuIDLE");
            state_ = dfuIDLE;
            return {answer(setup.request, 0, {}), Restart::None};
        default:
            break;
    }
    return stall(setup, std::string("not accepted in ") + StateName(state_));
}

DfuDevice::Outcome DfuDevice::getStatus(Clock::time_point now) {
    uint32_t pollTimeout = 0;
    if (dfuMode_) {
        switch (state_) {
            case dfuDNLOAD_SYNC: {
                bool busy = settings_.busyMs > 0 && blockPending_ && (!settings_.busyLastOnly || lastBlockShort_);
                blockPending_ = false;
                if (busy) {
                    state_ = dfuDNBUSY;
                    busyUntil_ = now + std::chrono::milliseconds(settings_.busyMs);
                    pollTimeout = settings_.busyMs;
                } else {
                    state_ = dfuDNLOAD_IDLE;
                }
                break;
            }
            case dfuDNBUSY:
                pollTimeout = millisLeft(busyUntil_, now);
                break;
            case dfuMANIFEST_SYNC:
                if (!manifested_ && settings_.manifestMs > 0) {
                    state_ = dfuMANIFEST;
                    manifestDone_ = now + std::chrono::milliseconds(settings_.manifestMs);
                    pollTimeout = settings_.manifestMs;
                } else {
                    state_ = dfuIDLE;
                    image_ = received_;
                    complete_ = true;
                    ++manifestations_;
                    log_("dfu: image of " + std::to_string(image_.size()) + " bytes manifested -> dfuIDLE");
                }
                break;
            case dfuMANIFEST:
                if (now >= manifestDone_) {
                    manifested_ = true;
                    state_ = dfuMANIFEST_SYNC;
                } else {
                    pollTimeout = millisLeft(manifestDone_, now);
                }
                break;
            default:
                break;
        }
    }
    log_(std::string("dfu: get status -> ") + StateName(state_) +
         (pollTimeout ? " (poll time-out " + std::to_string(pollTimeout) + " ms)" : std::string()));
    return {answer(GETSTATUS, 0, statusBytes(pollTimeout)), Restart::None};
}

DfuDevice::Outcome DfuDevice::download(const Setup& setup, const Bytes& data, Clock::time_point now) {
    (void)now;
    if (!dfuMode_) return stall(setup, "DFU_DNLOAD in application mode");
    std::string block = std::to_string(setup.value);
    if (setup.length == 0) {
        if (state_ != dfuDNLOAD_IDLE) {
            return fail(setup, errNOTDONE, std::string("zero-length download in ") + StateName(state_));
        }
        log_("dfu: final download (block " + block + "), " + std::to_string(received_.size()) +
             " bytes received -> dfuMANIFEST-SYNC");
        state_ = dfuMANIFEST_SYNC;
        manifested_ = false;
        return {answer(setup.request, 0, {}), Restart::None};
    }
    if (state_ != dfuIDLE && state_ != dfuDNLOAD_IDLE) {
        return fail(setup, errSTALLEDPKT, "download block " + block + " in " + StateName(state_));
    }
    if (setup.length > settings_.transferSize) {
        return fail(setup, errUNKNOWN,
                    "block " + block + " of " + std::to_string(setup.length) + " bytes exceeds the transfer size");
    }
    if (setup.value == 0) {
        if (state_ == dfuDNLOAD_IDLE) log_("dfu: download starts again from block 0");
        received_.clear();
        nextBlock_ = 0;
    }
    if (setup.value != nextBlock_) {
        return fail(setup, errADDRESS,
                    "block " + block + " out of order (expected " + std::to_string(nextBlock_) + ")");
    }
    if (settings_.errorAtBlock >= 0 && setup.value == settings_.errorAtBlock) {
        return fail(setup, errWRITE, "fault: write error at block " + block);
    }
    received_.insert(received_.end(), data.begin(), data.end());
    ++nextBlock_;
    ++blocksReceived_;
    lastBlockShort_ = setup.length < settings_.transferSize;
    blockPending_ = true;
    state_ = dfuDNLOAD_SYNC;
    log_("dfu: block " + block + ", " + std::to_string(setup.length) + " bytes");
    return {answer(setup.request, 0, {}), Restart::None};
}

}  // namespace sim::bluetooth
