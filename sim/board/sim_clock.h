#pragma once
// The clock of every simulator record (the GPIO log, the shell and navigation logs, the board's
// OEM records) and of the demo's timings: milliseconds of the monotonic clock, whose low 32
// bits are the platform's tick count, so records of different processes line up.

#include <chrono>
#include <cstdint>

namespace sim {

inline uint64_t monotonicMs() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace sim
