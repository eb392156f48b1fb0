#include "sim/mcu/entry_detector.h"

namespace sim::mcu {

EntryDetector::Change EntryDetector::onRequest(uint8_t port, uint32_t mask, uint8_t level) {
    if (port != kPort) return Change::None;
    bool high = level != 0;
    // Within one request the mode line settles together with the reset line.
    if (mask & kModeLine) modeHigh_ = high;
    if (!(mask & kResetLine)) return Change::None;
    bool wasHigh = resetHigh_;
    resetHigh_ = high;
    if (!wasHigh && high) return modeHigh_ ? Change::EnterProgramming : Change::Leave;
    if (wasHigh && !high) return Change::Leave;
    return Change::None;
}

}  // namespace sim::mcu
