// START with the MCU step: the MCU page programs the simulated MCU; a failing MCU is tried in
// all three attempts and the run ends on the failure text.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

#include "sim/mcu/mcu_simulator.h"
#include "updater/tests/e2e/updater_run.h"

namespace updater::e2e {
namespace {

using namespace std::chrono_literals;

// A small MCU keeps the runs short: 8 KiB of flash in 8 erase blocks.
sim::HeadUnitOptions SmallMcuUnit(nlohmann::json faults = nlohmann::json::object()) {
    sim::HeadUnitOptions options;
    options.codePage = 1252;
    options.osVersion = options.micomVersion = options.bluetoothVersion = "1.0.0";
    nlohmann::json mcu = {{"lastAddress", 0x1FFF}, {"blockCount", 8}, {"eraseMs", 50}};
    mcu.update(faults);
    options.sim["mcu"] = mcu;
    return options;
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

const std::vector<std::string> kMcuOnly = {"--os-version", "1.0.0", "--bt-version", "1.0.0", "--without", "panel"};

TEST(McuUpdate, StartProgramsTheMcu) {
    UpdaterRun run(SmallMcuUnit());
    run.Package(kMcuOnly);
    sim::mcu::McuSimulator mcu(run.root(), sim::mcu::McuSimulator::optionsFor(run.root()));
    run.StartUpdater();
    ASSERT_TRUE(run.WaitText(1000, "START", 20));
    ASSERT_TRUE(run.Click(1000));
    ASSERT_TRUE(run.WaitText(1006, "Update Success!\r\n\r\nPress the [RESTART] button to restart system.", 90))
        << run.DebugLog();
    EXPECT_EQ(mcu.flashContents(), ReadBytes(run.unit().sdcard() / "UpdateXan" / "MICOM.BIN"));
    EXPECT_EQ(run.CountInLog("[FAIL]"), 0);
    ASSERT_TRUE(run.Click(1000));
    EXPECT_EQ(run.WaitUpdaterEnd(10s), 0);
}

TEST(McuUpdate, McuThatFailsEveryAttemptEndsOnTheFailureText) {
    UpdaterRun run(SmallMcuUnit({{"writeError", nlohmann::json::array({3})}}));
    run.Package(kMcuOnly);
    sim::mcu::McuSimulator mcu(run.root(), sim::mcu::McuSimulator::optionsFor(run.root()));
    run.StartUpdater();
    ASSERT_TRUE(run.WaitText(1000, "START", 20));
    ASSERT_TRUE(run.Click(1000));
    ASSERT_TRUE(run.WaitText(1006, "Update Fail!\r\n\r\nPlease retry after restart system.", 120)) << run.DebugLog();
    EXPECT_EQ(run.CountInLog("### UpdateXan::[FAIL] MICOM... \n"), 3);
    EXPECT_EQ(run.CountInLog("[FAIL] KERNEL"), 0);
    EXPECT_EQ(run.Control(1000).value("text", ""), "RESTART");
    ASSERT_TRUE(run.Click(1000));
    EXPECT_EQ(run.WaitUpdaterEnd(10s), 0);
}

}  // namespace
}  // namespace updater::e2e
