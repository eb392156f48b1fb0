// The board's lines as the updater drives them: the restart sequence and the emergency blink.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <tuple>
#include <vector>

#include "platform/core/debug.h"
#include "platform/core/time.h"
#include "sim/board/fault_plan.h"
#include "sim/board/gpio_log.h"
#include "sim/headunit/headunit.h"
#include "updater/board/emergency_blink.h"
#include "updater/board/restart_sequence.h"
#include "updater/gpio_request.h"

namespace updater {
namespace {

using Line = std::tuple<int, uint32_t, int>;  // port, mask, level

std::vector<Line> Lines(const std::filesystem::path& root) {
    std::vector<Line> lines;
    for (const auto& e : sim::GpioLog::read(root)) lines.emplace_back(e.port, e.mask, e.level);
    return lines;
}

TEST(RestartSequence, ReachesTheBoardInOrder) {
    sim::TempHeadUnit unit;
    RunRestartSequence();
    const std::vector<Line> expected = {
        {2, 0x40000, 1}, {2, 0x100000, 1}, {2, 0x80000, 1}, {2, 0x10000, 0}, {2, 0x2000000, 0},
        {2, 0x2000000, 1}, {2, 0x4000000, 0}, {2, 0x400, 0}, {2, 0x1000, 0}, {2, 0x80, 0},
        {2, 0x40, 0}, {2, 0x40, 1}, {2, 0x8, 0},
    };
    EXPECT_EQ(Lines(unit.root()), expected);
    EXPECT_EQ(sim::GpioLog::levels(unit.root())[2], 0x40000u | 0x100000u | 0x80000u | 0x2000000u | 0x40u);
}

TEST(GpioRequest, FailuresAreOnlyLogged) {
    sim::TempHeadUnit unit;
    ASSERT_TRUE(sim::setSimSetting(unit.root(), "board", "failOpen", true));
    {
        ce::DebugCapture capture;
        GpioSetRequest(2, 0x8, 1);
        EXPECT_TRUE(capture.contains("Cannot Open NAND Driver..."));
    }
    ASSERT_TRUE(sim::setSimSetting(unit.root(), "board", "failOpen", nullptr));
    ASSERT_TRUE(sim::setSimSetting(unit.root(), "board", "failGpioSet", 1));
    {
        ce::DebugCapture capture;
        GpioSetRequest(2, 0x8, 1);
        GpioSetRequest(2, 0x10, 1);
        EXPECT_TRUE(capture.contains("## ORV:GPIO Set Error!! \r\n"));
    }
    EXPECT_EQ(Lines(unit.root()), (std::vector<Line>{{2, 0x10, 1}}));
}

TEST(EmergencyBlink, RaisesPort5ThenTogglesPort2Line0x4000) {
    sim::TempHeadUnit unit;
    {
        EmergencyBlink blink;
        blink.Start();
        blink.Start();  // a second start changes nothing
        sim::GpioWatcher watcher(unit.root(), true);
        size_t seen = 0;
        for (int waits = 0; seen < 4 && waits < 50; ++waits) seen += watcher.next(200).size();
    }
    const auto lines = Lines(unit.root());
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], (Line{5, 0x400, 1}));
    for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i], (Line{2, 0x4000, (i - 1) % 2})) << i;
    // Stopped with its owner: nothing more arrives.
    const size_t count = lines.size();
    ce::sleep(400);
    EXPECT_EQ(Lines(unit.root()).size(), count);
}

}  // namespace
}  // namespace updater
