#pragma once
// Where the demo's time went: the system's own fixed waits, the MCU and Bluetooth transfers,
// and everything else (the demo's preparation, program start-up, the NAND writes, the checks,
// the clean-up). The goal is that "everything else" stays under a tenth of the total.
//
// The fixed waits are the waits the head unit's software makes on purpose, each of a known
// length, counted as often as the run went through them (the pause before the steps, the page
// timers, the pauses after a phase, the restart's pauses, and the time a page's once-a-second
// timer takes to notice that a transfer ended). The transfers are measured: the MCU's from the
// moment its page said it was initialising to its last status, without the library's own
// pauses inside; the Bluetooth module's from the engine's start to the image it stored.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/hu/demo/desktop_record.h"

namespace hu::demo {

struct TimePart {
    std::string what;
    uint64_t ms = 0;
};

struct TimeAccount {
    uint64_t totalMs = 0;
    std::vector<TimePart> fixedWaits;
    std::vector<TimePart> transfers;

    uint64_t fixedMs() const;
    uint64_t transferMs() const;
    uint64_t otherMs() const;  // the rest of the total (never below zero)
    double share(uint64_t ms) const { return totalMs ? 100.0 * static_cast<double>(ms) / static_cast<double>(totalMs) : 0.0; }
};

TimeAccount accountTime(const DesktopRecord& run, uint64_t totalMs, bool emergency, bool restarted);

}  // namespace hu::demo
