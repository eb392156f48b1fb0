// Tick count, sleeps and auto-reset events over the C++ standard library.

#include "platform/core/time.h"

#include <chrono>
#include <thread>

namespace ce {

uint32_t tickCount() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    // Truncation to 32 bits is the point: callers compare ticks by unsigned subtraction,
    // which stays right across the wrap every 49.7 days.
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void sleep(uint32_t ms) {
    if (ms == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void AutoResetEvent::set() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    cv_.notify_one();
}

uint32_t AutoResetEvent::wait(uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    if (timeoutMs == INFINITE) {
        cv_.wait(lock, [this] { return signalled_; });
    } else {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        if (!cv_.wait_until(lock, deadline, [this] { return signalled_; })) return WAIT_TIMEOUT;
    }
    signalled_ = false;  // auto-reset: this wait consumed the signal
    return WAIT_OBJECT_0;
}

}  // namespace ce
