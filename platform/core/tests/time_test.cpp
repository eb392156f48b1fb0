// Auto-reset events: one set releases one wait; waits time out.

#include "platform/core/time.h"

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

namespace {

TEST(AutoResetEvent, ASetReleasesExactlyOneWait) {
    ce::AutoResetEvent event;
    EXPECT_EQ(event.wait(0), ce::WAIT_TIMEOUT);
    event.set();
    event.set();  // already signalled: no second release
    EXPECT_EQ(event.wait(0), ce::WAIT_OBJECT_0);
    EXPECT_EQ(event.wait(20), ce::WAIT_TIMEOUT);

    ce::AutoResetEvent initially(true);
    EXPECT_EQ(initially.wait(0), ce::WAIT_OBJECT_0);
}

TEST(AutoResetEvent, ReleasesAWaitInAnotherThread) {
    ce::AutoResetEvent event;
    std::atomic<int> released{0};
    std::thread a([&] { released += event.wait(ce::INFINITE) == ce::WAIT_OBJECT_0; });
    std::thread b([&] { released += event.wait(ce::INFINITE) == ce::WAIT_OBJECT_0; });
    event.set();
    while (released.load() < 1) ce::sleep(1);
    ce::sleep(30);
    EXPECT_EQ(released.load(), 1);  // the other waiter is still waiting
    event.set();
    a.join();
    b.join();
    EXPECT_EQ(released.load(), 2);
}

TEST(TickCount, AdvancesWithSleep) {
    uint32_t start = ce::tickCount();
    ce::sleep(20);
    ce::sleep(0);
    EXPECT_GE(uint32_t(ce::tickCount() - start), 20u);
}

}  // namespace
