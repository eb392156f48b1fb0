#include "updater/board/restart_sequence.h"

#include <array>
#include <cstdint>

#include "platform/core/time.h"
#include "updater/gpio_request.h"

namespace updater {

namespace {

// One row: a write of mask/level on port 2, or (mask 0) a pause of waitMs.
struct RestartStep {
    uint32_t mask;
    uint8_t level;
    uint32_t waitMs;
};

constexpr std::array<RestartStep, 15> kRestartSteps = {{
    {0x40000, 1, 0},
    {0x100000, 1, 0},
    {0x80000, 1, 0},
    {0x10000, 0, 0},
    {0x2000000, 0, 0},
    {0, 0, 100},
    {0x2000000, 1, 0},
    {0x4000000, 0, 0},
    {0x400, 0, 0},
    {0x1000, 0, 0},
    {0x80, 0, 0},
    {0x40, 0, 0},
    {0, 0, 10},
    {0x40, 1, 0},
    {0x8, 0, 0},
}};

constexpr uint8_t kRestartPort = 2;

}  // namespace

void RunRestartSequence() {
    for (const auto& step : kRestartSteps) {
        if (step.mask == 0) {
            ce::sleep(step.waitMs);
        } else {
            GpioSetRequest(kRestartPort, step.mask, step.level);
        }
    }
}

}  // namespace updater
