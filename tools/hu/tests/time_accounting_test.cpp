// The split of the demo's time between the system's fixed waits, the transfers and the rest,
// on records of runs laid out by hand with known times.

#include <gtest/gtest.h>

#include "tools/hu/demo/summary.h"
#include "tools/hu/demo/time_accounting.h"

namespace hu::demo {
namespace {

PageVisit Visit(PageKind kind, uint64_t shown, uint64_t closed) {
    PageVisit v;
    v.kind = kind;
    v.shownAt = shown;
    v.closedAt = closed;
    return v;
}

uint64_t Part(const std::vector<TimePart>& parts, const std::string& start) {
    for (const auto& p : parts)
        if (p.what.rfind(start, 0) == 0) return p.ms;
    return 0;
}

// One attended run: OS page, MCU page (initialising at 10 000, its result at 16 000), the
// Bluetooth page (engine started at 20 000, image stored at 22 500, result seen at 23 000).
DesktopRecord OneGoodRun() {
    DesktopRecord r;
    r.visits.push_back(Visit(PageKind::Main, 0, 30000));
    r.visits.push_back(Visit(PageKind::Os, 3000, 6000));
    PageVisit mcu = Visit(PageKind::Mcu, 9400, 17000);
    mcu.texts[1004] = {{9400, ""}, {10000, "Initialize..."}, {11500, "Erase..."}, {12000, "Write..."}, {16000, "Success..."}};
    r.visits.push_back(mcu);
    PageVisit bt = Visit(PageKind::Bluetooth, 17000, 26000);
    bt.texts[1009] = {{17000, "Downloading 0%"}, {23000, "Success..."}};
    r.visits.push_back(bt);
    r.updaterLog = {{18000, " TIMER_ID_START [ 0 ] \n"}, {20000, " TIMER_ID_START [ 1 ] \n"}};
    r.bluetoothImages = {22500};
    return r;
}

TEST(TimeAccounting, SplitsAGoodRunIntoWaitsTransfersAndTheRest) {
    const TimeAccount t = accountTime(OneGoodRun(), 40000, false, true);
    // MCU: 6000 ms from "initialising" to the result, less the link's 200 ms start pause and
    // its 1000 ms oscillator pause.
    EXPECT_EQ(Part(t.transfers, "MCU transfer"), 4800u);
    EXPECT_EQ(Part(t.transfers, "Bluetooth transfer"), 2500u);
    // The Bluetooth page: its fixed timers (6 s) and 500 ms until its tick saw the end.
    EXPECT_EQ(Part(t.fixedWaits, "Bluetooth page timers"), 6500u);
    EXPECT_EQ(Part(t.fixedWaits, "MCU link pauses"), 1200u);
    EXPECT_EQ(Part(t.fixedWaits, "pause after closing"), 2000u);
    EXPECT_EQ(Part(t.fixedWaits, "pause of an attempt without"), 0u);
    EXPECT_EQ(t.fixedMs() + t.transferMs() + t.otherMs(), 40000u);
    EXPECT_NEAR(t.share(t.otherMs()) + t.share(t.fixedMs()) + t.share(t.transferMs()), 100.0, 1e-9);
}

TEST(TimeAccounting, CountsTheAttemptsThatSkippedTheOsStep) {
    DesktopRecord r = OneGoodRun();
    // The Bluetooth step failed twice more without a page of its own: two attempts without
    // the OS step, each with its 2000 ms pause.
    r.updaterLog.push_back({27000, "### UpdateXan::[FAIL] Bluetooth... \n"});
    r.updaterLog.push_back({29000, "### UpdateXan::[FAIL] Bluetooth... \n"});
    r.updaterLog.push_back({31000, "### UpdateXan::[FAIL] Bluetooth... \n"});
    const TimeAccount t = accountTime(r, 60000, false, true);
    EXPECT_EQ(Part(t.fixedWaits, "pause of an attempt without the OS step"), 4000u);
}

TEST(TimeAccounting, NothingButTheRestWhenNoUpdateRan) {
    DesktopRecord r;
    r.visits.push_back(Visit(PageKind::Main, 0, 1000));
    const TimeAccount t = accountTime(r, 5000, false, false);
    EXPECT_EQ(t.fixedMs(), 0u);
    EXPECT_EQ(t.otherMs(), 5000u);
}

TEST(TimeAccounting, TheRestNeverGoesBelowZero) {
    const TimeAccount t = accountTime(OneGoodRun(), 1000, false, true);
    EXPECT_EQ(t.otherMs(), 0u);
}

TEST(Summary, PassesOnlyWithChecksThatAllPassed) {
    EXPECT_FALSE(allPassed({}));
    EXPECT_TRUE(allPassed({{"a", true, ""}, {"b", true, ""}}));
    EXPECT_FALSE(allPassed({{"a", true, ""}, {"b", false, ""}}));
}

}  // namespace
}  // namespace hu::demo
