#include "mcu_loader/receive_pump.h"

#include <algorithm>

namespace mculoader {

size_t PumpReceivedBytes(StagingArea& staging, const ReceivePort& port,
                         const std::function<void(const uint8_t*, size_t)>& moveOn) {
    size_t total = 0;
    for (;;) {
        uint32_t queued = port.queuedBytes();
        if (queued == 0) break;
        uint32_t want = static_cast<uint32_t>(std::min<size_t>(queued, staging.FreeSpace()));
        uint32_t got = port.read(staging.WritePosition(), want);
        port.pauseAfterRead();
        staging.Advance(got);
        total += got;
        if (staging.FreeSpace() == 0) {
            moveOn(staging.Data(), staging.Count());
            staging.Reset();
        }
        if (got == 0) break;
    }
    moveOn(staging.Data(), staging.Count());
    staging.Reset();
    return total;
}

}  // namespace mculoader
