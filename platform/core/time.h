#pragma once
// Time and synchronisation as the programs use them: a 32-bit millisecond tick count that
// wraps, sleeps, and auto-reset events with timed waits.

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace ce {

inline constexpr uint32_t INFINITE = 0xFFFFFFFF;
inline constexpr uint32_t WAIT_OBJECT_0 = 0;
inline constexpr uint32_t WAIT_TIMEOUT = 258;

// Milliseconds since an arbitrary start (monotonic), truncated to 32 bits.
uint32_t tickCount();

// Sleeps ms milliseconds; sleep(0) yields the processor.
void sleep(uint32_t ms);

// An auto-reset event: set() releases exactly one wait (or the next one to come); a set on an
// already signalled event has no further effect.
class AutoResetEvent {
public:
    explicit AutoResetEvent(bool initiallySignalled = false) : signalled_(initiallySignalled) {}
    void set();
    // WAIT_OBJECT_0 when signalled, WAIT_TIMEOUT after timeoutMs (INFINITE waits forever).
    uint32_t wait(uint32_t timeoutMs);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_;
};

}  // namespace ce
