// START with the OS step: what each mode of the OS page writes to the flash and the NAND
// volume, the messages to the shell applications, the three attempts, RESTART.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <thread>
#include <tuple>

#include "platform/core/files.h"
#include "sim/board/fault_plan.h"
#include "sim/board/gpio_log.h"
#include "sim/nand/flash_image.h"
#include "sim/shell/shell_log.h"
#include "updater/tests/e2e/updater_run.h"

namespace updater::e2e {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Line = std::tuple<int, uint32_t, int>;

Bytes ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

sim::HeadUnitOptions English(const std::string& installed = "1.0.0") {
    sim::HeadUnitOptions options;
    options.codePage = 1252;
    options.osVersion = options.micomVersion = options.bluetoothVersion = installed;
    return options;
}

std::vector<Line> Lines(const std::filesystem::path& root) {
    std::vector<Line> lines;
    for (const auto& e : sim::GpioLog::read(root)) lines.emplace_back(e.port, e.mask, e.level);
    return lines;
}

const std::vector<Line> kRestart = {
    {2, 0x40000, 1}, {2, 0x100000, 1}, {2, 0x80000, 1}, {2, 0x10000, 0}, {2, 0x2000000, 0},
    {2, 0x2000000, 1}, {2, 0x4000000, 0}, {2, 0x400, 0}, {2, 0x1000, 0}, {2, 0x80, 0},
    {2, 0x40, 0}, {2, 0x40, 1}, {2, 0x8, 0},
};

const char* kSuccess = "Update Success!\r\n\r\nPress the [RESTART] button to restart system.";
const char* kFailure = "Update Fail!\r\n\r\nPlease retry after restart system.";

TEST(OsUpdate, FullRunWritesEveryRegionNotifiesTheShellAndRestarts) {
    UpdaterRun run(English());
    run.Package({"--kernel-size", "4097", "--logo-size", "1300", "--without", "micom,bt,panel"});
    const auto card = run.unit().sdcard() / "UpdateXan";
    const auto nand = run.unit().nand();
    // Old files: a locked and a read-only bitmap in SFLASH, a stale file in the NAND root.
    std::filesystem::create_directories(nand / "SFLASH");
    std::ofstream(nand / "SFLASH" / "locked.bmp") << "old";
    std::ofstream(nand / "SFLASH" / "readonly.bmp") << "old";
    std::ofstream(nand / "stale.dat") << "old";
    ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\SFLASH\\readonly.bmp", ce::FILE_ATTRIBUTE_READONLY), ce::ERROR_SUCCESS);
    auto lock = ce::File::open("\\NAND Flash\\SFLASH\\locked.bmp", ce::GENERIC_READ, 0, ce::OPEN_EXISTING);
    ASSERT_TRUE(lock);

    run.StartShell();
    run.StartUpdater();
    ASSERT_TRUE(run.WaitText(1000, "START", 20));
    ASSERT_TRUE(run.Click(1000));
    ASSERT_TRUE(run.WaitText(1006, kSuccess, 60)) << run.DebugLog();
    EXPECT_EQ(run.Control(1000).value("text", ""), "RESTART");
    EXPECT_TRUE(run.Control(1000).value("enabled", false));
    EXPECT_FALSE(run.Control(1001).value("enabled", true));

    sim::FlashImage flash(run.root());
    EXPECT_EQ(flash.read(sim::FlashRegion::Bootloader), ReadBytes(card / "tcBoot.rom"));
    const Bytes logo = ReadBytes(card / "OPTION" / "BOOT.LGO");
    EXPECT_EQ(flash.read(sim::FlashRegion::Hidden, 0, 512), Bytes(512, 0xFF));
    EXPECT_EQ(flash.read(sim::FlashRegion::Hidden, 512, 1024), Bytes(logo.begin(), logo.begin() + 1024));
    EXPECT_EQ(flash.read(sim::FlashRegion::Hidden).size(), 4 * 512u);
    const Bytes kernel = ReadBytes(card / "nk.rom");
    EXPECT_EQ(flash.read(sim::FlashRegion::Sectors, 0, 8 * 512), Bytes(8 * 512, 0xFF));
    EXPECT_EQ(flash.read(sim::FlashRegion::Sectors, 8 * 512, 4096), Bytes(kernel.begin(), kernel.begin() + 4096));
    EXPECT_EQ(flash.read(sim::FlashRegion::Sectors).size(), 24 * 512u);  // 4097 bytes: two requests
    EXPECT_EQ(ReadBytes(nand / "PimConfig.ORV"), ReadBytes(card / "OPTION" / "PIMCONFIG.ORV"));
    EXPECT_FALSE(std::filesystem::exists(nand / "stale.dat"));
    EXPECT_EQ(ReadBytes(nand / "SFLASH" / "IMG_02.bmp"), ReadBytes(card / "SFLASH" / "IMG_02.bmp"));

    // The locked file: one attempt and five retries, a retry line after each; then skipped.
    // The read-only file found the budget spent: one attempt, one retry line, skipped.
    EXPECT_EQ(run.CountInLog("@ DELETE : \\NAND Flash\\SFLASH\\locked.bmp - ### Fail : 32 ### -> Retry!!  \r\n"), 6);
    EXPECT_EQ(run.CountInLog("Delete Fail! - file(DELETE:\\NAND Flash\\SFLASH\\locked.bmp:32) - skip"), 1);
    EXPECT_EQ(run.CountInLog("@ DELETE : \\NAND Flash\\SFLASH\\readonly.bmp - ### Fail : 5 ### -> Retry!!  \r\n"), 1);
    EXPECT_EQ(run.CountInLog("Delete Fail! - file(DELETE:\\NAND Flash\\SFLASH\\readonly.bmp:5) - skip"), 1);
    EXPECT_EQ(run.CountInLog("### UpdateXan::KillApp[GUI_Main] \n"), 1);

    const auto shell = sim::ShellLog::read(run.root());
    ASSERT_EQ(shell.size(), 2u);  // model U0: the main menu and the setup are left alone
    for (const auto& m : shell) {
        if (m.window == "ZOVEDIZUZ") {
            EXPECT_EQ(m.msg, 0x0010u);
            EXPECT_TRUE(m.posted);
        } else {
            EXPECT_EQ(m.window, "GUI_Main");
            EXPECT_EQ(m.msg, 0x059Bu);
            EXPECT_FALSE(m.posted);
        }
    }

    ASSERT_TRUE(run.Click(1000));  // RESTART
    EXPECT_EQ(run.WaitUpdaterEnd(10s), 0);
    EXPECT_EQ(Lines(run.root()), kRestart);
}

TEST(OsUpdate, LogoButtonWritesTheLogoAndOptionOnly) {
    UpdaterRun run(English());
    run.Package({"--os-version", "1.0.0", "--mcu-version", "1.0.0", "--bt-version", "1.0.0", "--without", "panel"});
    run.StartUpdater();
    ASSERT_TRUE(run.WaitText(1010, "LOGO + OPTION", 20));
    ASSERT_TRUE(run.Click(1010));
    ASSERT_TRUE(run.WaitText(1000, "RESTART", 20)) << run.DebugLog();
    EXPECT_FALSE(run.Control(1010).value("visible", true));
    EXPECT_EQ(MessageText(run), "\r\nNo new software has been detected.");

    sim::FlashImage flash(run.root());
    const Bytes logo = ReadBytes(run.unit().sdcard() / "UpdateXan" / "OPTION" / "BOOT.LGO");
    EXPECT_EQ(flash.read(sim::FlashRegion::Hidden, 512, logo.size()), logo);
    EXPECT_TRUE(flash.read(sim::FlashRegion::Bootloader).empty());
    EXPECT_TRUE(flash.read(sim::FlashRegion::Sectors).empty());
    EXPECT_TRUE(std::filesystem::exists(run.unit().nand() / "PimConfig.ORV"));
    EXPECT_FALSE(std::filesystem::exists(run.unit().nand() / "SFLASH"));

    ASSERT_TRUE(run.Click(1000));
    EXPECT_EQ(run.WaitUpdaterEnd(10s), 0);
    EXPECT_EQ(Lines(run.root()), kRestart);
}

TEST(OsUpdate, OptionOnlyModeFailsWhenTheCopyFails) {
    UpdaterRun run(English());
    run.Package({"--os-version", "1.0.0", "--without", "logo,panel"});
    // A hidden PimConfig.ORV survives the clearing of the NAND root and blocks the copy.
    std::ofstream(run.unit().nand() / "PimConfig.ORV") << "old";
    ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\PimConfig.ORV", ce::FILE_ATTRIBUTE_HIDDEN), ce::ERROR_SUCCESS);
    run.StartUpdater();
    ASSERT_TRUE(run.WaitText(1010, "OPTION", 20));
    ASSERT_TRUE(run.Click(1010));
    ASSERT_TRUE(run.WaitText(1010, "Fail", 20)) << run.DebugLog();
    EXPECT_NE(run.Control(1000).value("text", ""), "RESTART");

    ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\PimConfig.ORV", ce::FILE_ATTRIBUTE_NORMAL), ce::ERROR_SUCCESS);
    ASSERT_TRUE(run.Click(1010));  // the second try succeeds
    ASSERT_TRUE(run.WaitText(1000, "RESTART", 20));
    sim::FlashImage flash(run.root());
    EXPECT_TRUE(flash.read(sim::FlashRegion::Hidden).empty());
    EXPECT_TRUE(flash.read(sim::FlashRegion::Sectors).empty());
    EXPECT_EQ(ReadBytes(run.unit().nand() / "PimConfig.ORV"),
              ReadBytes(run.unit().sdcard() / "UpdateXan" / "OPTION" / "PIMCONFIG.ORV"));
    ASSERT_TRUE(run.Click(1001));  // CANCEL stays enabled after LOGO
    EXPECT_EQ(run.WaitUpdaterEnd(10s), 0);
}

// The option file is part of the LOGO + OPTION command too: a copy that fails fails the
// command, after the logo has been written all the same.
TEST(OsUpdate, LogoAndOptionModeFailsWhenTheOptionCopyFails) {
    UpdaterRun run(English());
    run.Package({"--os-version", "1.0.0", "--mcu-version", "1.0.0", "--bt-version", "1.0.0", "--without", "panel"});
    std::ofstream(run.unit().nand() / "PimConfig.ORV") << "old";
    ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\PimConfig.ORV", ce::FILE_ATTRIBUTE_HIDDEN), ce::ERROR_SUCCESS);
    run.StartUpdater();
    ASSERT_TRUE(run.WaitText(1010, "LOGO + OPTION", 20));
    ASSERT_TRUE(run.Click(1010));
    ASSERT_TRUE(run.WaitText(1010, "Fail", 20)) << run.DebugLog();
    EXPECT_NE(run.Control(1000).value("text", ""), "RESTART");
    EXPECT_EQ(run.CountInLog("### UpdateKernel::option file not installed"), 1) << run.DebugLog();
    const Bytes logo = ReadBytes(run.unit().sdcard() / "UpdateXan" / "OPTION" / "BOOT.LGO");
    EXPECT_EQ(sim::FlashImage(run.root()).read(sim::FlashRegion::Hidden, 512, logo.size()), logo);
    ASSERT_TRUE(run.Click(1001));
    EXPECT_EQ(run.WaitUpdaterEnd(60s), 0);
}

TEST(OsUpdate, WrongKernelChecksumFailsAllThreeAttempts) {
    UpdaterRun run(English());
    run.Package({"--bad-checksum", "--kernel-size", "9000", "--without", "micom,bt,panel"});
    run.StartUpdater();
    ASSERT_TRUE(run.WaitText(1000, "START", 20));
    ASSERT_TRUE(run.Click(1000));
    ASSERT_TRUE(run.WaitText(1006, kFailure, 90)) << run.DebugLog();
    EXPECT_EQ(run.Control(1000).value("text", ""), "RESTART");
    EXPECT_EQ(run.CountInLog("### UpdateXan::[FAIL] KERNEL... \n"), 3);
    EXPECT_EQ(run.CountInLog("[ERROR] CRC Check is Failed... length = 0x2328"), 3);
    EXPECT_TRUE(sim::FlashImage(run.root()).read(sim::FlashRegion::Sectors).empty());
    EXPECT_EQ(sim::requestCounts(run.root()).value("nand.writePages", 0), 0);
    ASSERT_TRUE(run.Click(1000));
    EXPECT_EQ(run.WaitUpdaterEnd(10s), 0);
}

// In the full OS update too an option file that cannot be installed fails the step, in every
// attempt, while the images are still written.
TEST(OsUpdate, FullUpdateFailsWhenTheOptionFileCannotBeInstalled) {
    UpdaterRun run(English());
    run.Package({"--kernel-size", "4097", "--without", "micom,bt,panel"});
    std::ofstream(run.unit().nand() / "PimConfig.ORV") << "old";
    ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\PimConfig.ORV", ce::FILE_ATTRIBUTE_HIDDEN), ce::ERROR_SUCCESS);
    run.StartUpdater();
    ASSERT_TRUE(run.WaitText(1000, "START", 60));
    ASSERT_TRUE(run.Click(1000));
    ASSERT_TRUE(run.WaitText(1006, kFailure, 120)) << run.DebugLog();
    EXPECT_EQ(run.CountInLog("### UpdateXan::[FAIL] KERNEL... \n"), 3);
    EXPECT_EQ(run.CountInLog("### UpdateKernel::option file not installed"), 3);
    EXPECT_EQ(sim::FlashImage(run.root()).read(sim::FlashRegion::Sectors).size(), 24 * 512u);
    ASSERT_TRUE(run.Click(1000));
    EXPECT_EQ(run.WaitUpdaterEnd(60s), 0);
}

TEST(OsUpdate, FailingBootloaderDoesNotStopTheLaterPhases) {
    UpdaterRun run(English());
    run.Package({"--kernel-size", "8192", "--without", "micom,bt,panel"});
    ASSERT_TRUE(sim::setSimSetting(run.root(), "nand", "failBootloader", true));
    run.StartUpdater();
    ASSERT_TRUE(run.WaitText(1000, "START", 20));
    ASSERT_TRUE(run.Click(1000));
    ASSERT_TRUE(run.WaitText(1006, kFailure, 90)) << run.DebugLog();
    EXPECT_EQ(run.CountInLog("### UpdateXan::[FAIL] KERNEL... \n"), 3);
    // Every attempt still wrote the logo and the kernel (two requests each).
    EXPECT_EQ(sim::requestCounts(run.root()).value("nand.writePages", 0), 6);
    EXPECT_EQ(sim::FlashImage(run.root()).read(sim::FlashRegion::Sectors).size(), (8 + 16) * 512u);
    EXPECT_TRUE(sim::FlashImage(run.root()).read(sim::FlashRegion::Bootloader).empty());
}

TEST(OsUpdate, BluetoothUpdateWithoutAModuleIsDropped) {
    sim::HeadUnitOptions options = English();
    options.srcInfo = 0x3;
    UpdaterRun run(options);
    run.Package({"--os-version", "1.0.0", "--mcu-version", "1.0.0", "--bt-version", "1.0.1", "--without", "panel"});
    run.StartUpdater();
    ASSERT_TRUE(run.WaitText(1000, "START", 20));
    ASSERT_TRUE(run.Click(1000));
    ASSERT_TRUE(run.WaitText(1006, kSuccess, 30)) << run.DebugLog();
    EXPECT_EQ(run.CountInLog("### BT Not Exist\r\n"), 1);
    EXPECT_EQ(run.CountInLog("Bluetooth update skipped"), 1);
    EXPECT_EQ(run.CountInLog("[FAIL]"), 0);
}

TEST(OsUpdate, ModelU1RunsTheOsPageAndClosesItsMenus) {
    sim::HeadUnitOptions options = English();
    options.modelName = "U1";
    options.srcInfo = 0x3;  // the only due step, Bluetooth, is dropped: no module
    UpdaterRun run(options);
    run.Package({"--os-version", "1.0.0", "--mcu-version", "1.0.0", "--bt-version", "1.0.1", "--kernel-size", "4096",
                 "--without", "panel"});
    run.StartShell();
    run.StartUpdater();
    ASSERT_TRUE(run.WaitText(1000, "START", 20));
    ASSERT_TRUE(run.Click(1000));
    ASSERT_TRUE(run.WaitText(1006, kSuccess, 60)) << run.DebugLog();
    // The OS version is unchanged, yet the OS page ran.
    EXPECT_EQ(sim::FlashImage(run.root()).read(sim::FlashRegion::Sectors).size(), 16 * 512u);

    int mainMenu = 0, setup = 0;
    for (const auto& m : sim::ShellLog::read(run.root())) {
        if (m.window == "ORV_MAINMENU" && m.msg == 0x05BC && m.posted) ++mainMenu;
        if (m.window == "ORV_SETUP" && m.msg == 0x0010 && m.posted) ++setup;
    }
    EXPECT_EQ(mainMenu, 1);
    EXPECT_EQ(setup, 1);
}

}  // namespace
}  // namespace updater::e2e
