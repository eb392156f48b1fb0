#include "updater/board/emergency_blink.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "updater/gpio_request.h"

namespace updater {

namespace {

constexpr auto kBlinkPeriod = std::chrono::milliseconds(300);

void Blink(std::stop_token stop) {
    GpioSetRequest(5, 0x400, 1);
    std::mutex mutex;
    std::condition_variable_any wake;
    uint8_t level = 0;
    for (;;) {
        GpioSetRequest(2, 0x4000, level);
        level ^= 1;
        std::unique_lock lock(mutex);
        if (wake.wait_for(lock, stop, kBlinkPeriod, [] { return false; })) return;
        if (stop.stop_requested()) return;
    }
}

}  // namespace

EmergencyBlink::~EmergencyBlink() {
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
}

void EmergencyBlink::Start() {
    if (thread_.joinable()) return;
    thread_ = std::jthread(Blink);
}

}  // namespace updater
