// The restart of the head unit as the board saw it: fifteen steps on GPIO port 2, thirteen
// writes and two pauses, at the very end of the board's log.

#include <array>

#include <fmt/format.h>

#include "tools/hu/demo/checks.h"

namespace hu::demo {

namespace {

struct Write {
    uint32_t mask;
    int level;
};

constexpr int kRestartPort = 2;
// The writes in order; the board must see 100 ms between the 5th and the 6th write and 10 ms
// between the 11th and the 12th (the restart's two pauses).
constexpr std::array<Write, 13> kRestartWrites = {{{0x40000, 1},
                                                   {0x100000, 1},
                                                   {0x80000, 1},
                                                   {0x10000, 0},
                                                   {0x2000000, 0},
                                                   {0x2000000, 1},
                                                   {0x4000000, 0},
                                                   {0x400, 0},
                                                   {0x1000, 0},
                                                   {0x80, 0},
                                                   {0x40, 0},
                                                   {0x40, 1},
                                                   {0x8, 0}}};
struct Pause {
    size_t after;  // index of the write before the pause
    uint64_t ms;
};
constexpr std::array<Pause, 2> kPauses = {{{4, 100}, {10, 10}}};

// The emergency blink drives port 5 once and toggles port 2 line 0x4000 until the program
// ends; its writes may fall anywhere, also between those of the restart.
bool isBlink(const sim::GpioEvent& e) { return e.port == 5 || (e.port == kRestartPort && e.mask == 0x4000); }

}  // namespace

CheckResult checkRestartSequence(const std::vector<sim::GpioEvent>& events, uint64_t notBefore, const std::string& after) {
    CheckResult result{"board saw the restart sequence", false, {}};
    std::vector<sim::GpioEvent> writes;
    for (const auto& e : events)
        if (!isBlink(e)) writes.push_back(e);
    if (writes.size() < kRestartWrites.size()) {
        result.detail = fmt::format("the board saw {} writes, fewer than the restart's {}", writes.size(), kRestartWrites.size());
        return result;
    }
    const size_t first = writes.size() - kRestartWrites.size();
    for (size_t i = 0; i < kRestartWrites.size(); ++i) {
        const auto& seen = writes[first + i];
        const auto& want = kRestartWrites[i];
        if (seen.port != kRestartPort || seen.mask != want.mask || seen.level != want.level) {
            result.detail = fmt::format("write {} of the restart was port {} mask 0x{:X} level {}, not port 2 mask 0x{:X} level {}",
                                        i + 1, seen.port, seen.mask, seen.level, want.mask, want.level);
            return result;
        }
    }
    for (const auto& pause : kPauses) {
        const uint64_t gap = writes[first + pause.after + 1].t_ms - writes[first + pause.after].t_ms;
        if (gap < pause.ms) {
            result.detail = fmt::format("only {} ms between writes {} and {} (at least {} ms)", gap, pause.after + 1,
                                        pause.after + 2, pause.ms);
            return result;
        }
    }
    if (writes[first].t_ms < notBefore) {
        result.detail = fmt::format("the restart began {} ms before {}", notBefore - writes[first].t_ms, after);
        return result;
    }
    result.passed = true;
    result.detail = fmt::format("13 writes on port 2 in order over {} ms, after {}", writes.back().t_ms - writes[first].t_ms, after);
    return result;
}

}  // namespace hu::demo
