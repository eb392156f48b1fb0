// Emergency mode: installed MCU and Bluetooth versions unreadable. The updater clears the NAND
// root, blinks its status line and runs the OS and MCU steps and the restart without a user.

#include <gtest/gtest.h>

#include <fstream>
#include <thread>
#include <tuple>

#include "sim/board/gpio_log.h"
#include "sim/mcu/mcu_simulator.h"
#include "sim/nand/flash_image.h"
#include "updater/tests/e2e/updater_run.h"

namespace updater::e2e {
namespace {

using namespace std::chrono_literals;
using Line = std::tuple<int, uint32_t, int>;

TEST(Emergency, RunsUnattendedFromDetectionToRestart) {
    sim::HeadUnitOptions options;
    options.codePage = 1252;
    options.micomVersion.reset();
    options.bluetoothVersion.reset();
    options.sim["mcu"] = {{"lastAddress", 0x1FFF}, {"blockCount", 8}, {"eraseMs", 50}};
    UpdaterRun run(options);
    run.Package({"--kernel-size", "5000", "--without", "panel"});
    sim::mcu::McuSimulator mcu(run.root(), sim::mcu::McuSimulator::optionsFor(run.root()));
    std::ofstream(run.unit().nand() / "stale.dat") << "old";
    std::filesystem::create_directories(run.unit().nand() / "ZEK");
    std::ofstream(run.unit().nand() / "ZEK" / "keep.bin") << "keep";

    run.StartShell();
    run.StartUpdater();
    ASSERT_EQ(run.WaitUpdaterEnd(180s), 0) << run.DebugLog();

    EXPECT_EQ(run.CountInLog("######## Emergency Update!! - Detected! ######## \n"), 1);
    EXPECT_EQ(run.CountInLog("######## Start Emergency Update!! ######## \n"), 1);
    // No Bluetooth step in emergency mode: the page and its engine never started.
    EXPECT_EQ(run.CountInLog("How many count!!!"), 0);
    EXPECT_EQ(run.CountInLog("CreateEvent"), 0);
    EXPECT_EQ(run.CountInLog("[FAIL]"), 0);
    EXPECT_FALSE(std::filesystem::exists(run.unit().nand() / "stale.dat"));
    EXPECT_TRUE(std::filesystem::exists(run.unit().nand() / "ZEK" / "keep.bin"));
    EXPECT_EQ(sim::FlashImage(run.root()).read(sim::FlashRegion::Sectors).size(), (8 + 16) * 512u);
    std::ifstream micom(run.unit().sdcard() / "UpdateXan" / "MICOM.BIN", std::ios::binary);
    EXPECT_EQ(mcu.flashContents(), std::vector<uint8_t>(std::istreambuf_iterator<char>(micom), {}));

    // Port 2 line 0x8 first, then the blink (port 5 once, port 2 line 0x4000 toggling), and
    // the restart sequence at the end; the blink's writes may fall between the others.
    std::vector<Line> others;
    std::vector<Line> blink;
    for (const auto& e : sim::GpioLog::read(run.root())) {
        Line line{e.port, e.mask, e.level};
        (e.mask == 0x4000 || e.port == 5 ? blink : others).push_back(line);
    }
    // (The MCU page drives port 2 lines 0x8, 0x40 and 0x80 for the programming mode as well.)
    ASSERT_FALSE(others.empty());
    EXPECT_EQ(others.front(), (Line{2, 0x8, 1}));
    ASSERT_GE(others.size(), 14u);
    EXPECT_EQ(std::vector<Line>(others.end() - 13, others.end()),
              (std::vector<Line>{{2, 0x40000, 1}, {2, 0x100000, 1}, {2, 0x80000, 1}, {2, 0x10000, 0},
                                 {2, 0x2000000, 0}, {2, 0x2000000, 1}, {2, 0x4000000, 0}, {2, 0x400, 0},
                                 {2, 0x1000, 0}, {2, 0x80, 0}, {2, 0x40, 0}, {2, 0x40, 1}, {2, 0x8, 0}}));
    ASSERT_GE(blink.size(), 3u);
    EXPECT_EQ(blink[0], (Line{5, 0x400, 1}));
    EXPECT_EQ(blink[1], (Line{2, 0x4000, 0}));
    EXPECT_EQ(blink[2], (Line{2, 0x4000, 1}));
}

TEST(Emergency, NeverRunsAStepWhoseImageIsMissing) {
    sim::HeadUnitOptions options;
    options.micomVersion.reset();
    options.bluetoothVersion.reset();
    UpdaterRun run(options);
    run.Package({"--without", "tcboot,micom,panel"});
    run.StartUpdater();
    ASSERT_EQ(run.WaitUpdaterEnd(180s), 0) << run.DebugLog();
    EXPECT_EQ(run.CountInLog("######## Start Emergency Update!! ######## \n"), 1);
    EXPECT_EQ(run.CountInLog("[FAIL]"), 0);
    sim::FlashImage flash(run.root());
    EXPECT_TRUE(flash.read(sim::FlashRegion::Sectors).empty());
    EXPECT_TRUE(flash.read(sim::FlashRegion::Bootloader).empty());
}

}  // namespace
}  // namespace updater::e2e
