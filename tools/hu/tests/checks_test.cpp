// The demo's checks against recorded events and files made to differ in the ways a faulty
// update would: a write out of order or too soon, an image one sector off, a file missing.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "sim/headunit/headunit.h"
#include "sim/nand/flash_image.h"
#include "tools/hu/demo/checks.h"

namespace hu::demo {
namespace {

namespace fs = std::filesystem;

// ---- the restart sequence ---------------------------------------------------------------------

std::vector<sim::GpioEvent> RestartWrites(uint64_t start) {
    const std::vector<std::pair<uint32_t, int>> writes = {{0x40000, 1}, {0x100000, 1}, {0x80000, 1}, {0x10000, 0},
                                                          {0x2000000, 0}, {0x2000000, 1}, {0x4000000, 0}, {0x400, 0},
                                                          {0x1000, 0}, {0x80, 0}, {0x40, 0}, {0x40, 1}, {0x8, 0}};
    std::vector<sim::GpioEvent> events;
    uint64_t t = start;
    for (size_t i = 0; i < writes.size(); ++i) {
        t += i == 5 ? 101 : i == 11 ? 11 : 1;  // the two pauses of the restart
        events.push_back({t, 2, writes[i].first, writes[i].second, 42});
    }
    return events;
}

TEST(RestartCheck, PassesTheSequenceAtTheEndEvenWithTheBlinkBetween) {
    std::vector<sim::GpioEvent> events = {{900, 2, 0x8, 1, 42}, {950, 5, 0x400, 1, 43}};
    auto restart = RestartWrites(1000);
    events.insert(events.end(), restart.begin(), restart.begin() + 6);
    events.push_back({1105, 2, 0x4000, 0, 43});  // the emergency blink's line
    events.insert(events.end(), restart.begin() + 6, restart.end());
    EXPECT_TRUE(checkRestartSequence(events, 1000, "the press").passed) << checkRestartSequence(events, 1000, "x").detail;
}

TEST(RestartCheck, FailsOnAWrongOrderAMissingPauseALateLineOrAnEarlyStart) {
    auto swapped = RestartWrites(1000);
    std::swap(swapped[1], swapped[2]);
    std::swap(swapped[1].t_ms, swapped[2].t_ms);
    CheckResult r = checkRestartSequence(swapped, 0, "the press");
    EXPECT_FALSE(r.passed);
    EXPECT_NE(r.detail.find("write 2 of the restart was port 2 mask 0x80000"), std::string::npos) << r.detail;

    auto hurried = RestartWrites(1000);
    for (size_t i = 5; i < hurried.size(); ++i) hurried[i].t_ms -= 60;  // 41 ms instead of 100
    r = checkRestartSequence(hurried, 0, "the press");
    EXPECT_FALSE(r.passed);
    EXPECT_NE(r.detail.find("between writes 5 and 6"), std::string::npos) << r.detail;

    auto trailing = RestartWrites(1000);
    trailing.push_back({2000, 2, 0x8, 1, 42});  // something after the restart: it was not the last
    EXPECT_FALSE(checkRestartSequence(trailing, 0, "the press").passed);

    r = checkRestartSequence(RestartWrites(1000), 1050, "the press");
    EXPECT_FALSE(r.passed);
    EXPECT_NE(r.detail.find("before the press"), std::string::npos) << r.detail;

    auto partial = RestartWrites(1000);
    partial.resize(12);
    EXPECT_FALSE(checkRestartSequence(partial, 0, "the press").passed);
}

// ---- the shell windows ---------------------------------------------------------------------

sim::ShellMessage Message(const char* window, uint32_t msg, bool posted) { return {1, window, msg, 0, 0, posted}; }

TEST(ShellCheck, WantsOneCloseAndOneNoticeAndNothingElse) {
    const uint32_t progress = 0xC000;  // a registered broadcast: not counted
    std::vector<sim::ShellMessage> good = {Message("ZOVEDIZUZ", 0x10, true), Message("GUI_Main", 0x059B, false),
                                           Message("GUI_Main", progress, false), Message("ORV_SETUP", progress, false)};
    EXPECT_TRUE(checkShellMessages(good, false).passed) << checkShellMessages(good, false).detail;
    EXPECT_FALSE(checkShellMessages(good, true).passed);  // ZOVEDIZUZ did not close

    auto sentClose = good;
    sentClose[0].posted = false;
    EXPECT_FALSE(checkShellMessages(sentClose, false).passed);

    auto twice = good;
    twice.push_back(Message("GUI_Main", 0x059B, false));
    EXPECT_FALSE(checkShellMessages(twice, false).passed);

    auto menu = good;
    menu.push_back(Message("ORV_MAINMENU", 0x05BC, true));
    CheckResult r = checkShellMessages(menu, false);
    EXPECT_FALSE(r.passed);
    EXPECT_NE(r.detail.find("ORV_MAINMENU"), std::string::npos);

    EXPECT_FALSE(checkShellMessages({Message("GUI_Main", 0x059B, false)}, false).passed);
}

// ---- images and files ----------------------------------------------------------------------

TEST(FirstDifference, NamesTheByteOrTheMissingLength) {
    EXPECT_EQ(firstDifference({1, 2, 3}, {1, 2, 3}), "");
    EXPECT_EQ(firstDifference({1, 2, 3}, {1, 9, 3}), "differs from byte 0x1 on (0x09 instead of 0x02)");
    EXPECT_EQ(firstDifference({1, 2, 3}, {1, 2}), "holds only 2 of the 3 bytes");
    EXPECT_EQ(firstDifference({1, 2, 3}, {}), "holds none of the 3 bytes");
    EXPECT_EQ(firstDifference({1}, {1, 2}), "holds 1 bytes more than the 1 expected");
}

class ImageChecks : public testing::Test {
protected:
    std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
        return bytes;
    }
    void PutInPackage(const fs::path& relative, const std::vector<uint8_t>& bytes) {
        const fs::path file = unit_.root() / "sdcard" / "UpdateXan" / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    void PutHostFile(const fs::path& file, const std::vector<uint8_t>& bytes) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    sim::TempHeadUnit unit_;
    DesktopRecord run_;
};

TEST_F(ImageChecks, KernelMustStartAtSectorEightAndLogoAtHiddenPageOne) {
    const auto kernel = Pattern(3 * 4096 + 100, 3);
    const auto logo = Pattern(1500, 9);
    PutInPackage("nk.rom", kernel);
    PutInPackage("OPTION/BOOT.LGO", logo);
    sim::FlashImage flash(unit_.root());

    EXPECT_FALSE(checkKernel(unit_.root(), run_).passed);  // never written
    flash.write(sim::FlashRegion::Sectors, 7 * 512, kernel.data(), kernel.size());  // one sector early
    EXPECT_FALSE(checkKernel(unit_.root(), run_).passed);
    flash.write(sim::FlashRegion::Sectors, 8 * 512, kernel.data(), kernel.size());
    EXPECT_TRUE(checkKernel(unit_.root(), run_).passed) << checkKernel(unit_.root(), run_).detail;

    flash.write(sim::FlashRegion::Hidden, 0, logo.data(), logo.size());  // page 0 is not the logo's
    EXPECT_FALSE(checkLogo(unit_.root(), run_).passed);
    flash.write(sim::FlashRegion::Hidden, 512, logo.data(), logo.size());
    EXPECT_TRUE(checkLogo(unit_.root(), run_).passed) << checkLogo(unit_.root(), run_).detail;
}

TEST_F(ImageChecks, FailureQuotesTheUpdatersOwnWords) {
    PutInPackage("nk.rom", Pattern(4096, 1));
    run_.updaterLog.push_back({10, "[ERROR] CRC Check is Failed... length = 0x1000, CRC = 0x1234@ DELETE : \\NAND Flash\\x\n"});
    const CheckResult r = checkKernel(unit_.root(), run_);
    EXPECT_FALSE(r.passed);
    EXPECT_NE(r.detail.find("\"[ERROR] CRC Check is Failed... length = 0x1000, CRC = 0x1234\""), std::string::npos) << r.detail;
}

TEST_F(ImageChecks, McuFlashIsComparedUpToItsLastAddressWithZerosBeyondTheFile) {
    auto image = Pattern(1000, 5);
    PutInPackage("MICOM.BIN", image);
    auto flash = image;
    flash.resize(0x800, 0x00);
    flash.resize(0x900, 0xFF);  // beyond the last address: not the image's
    PutHostFile(unit_.root() / "flash" / "mcu_flash.bin", flash);
    EXPECT_TRUE(checkMcuFlash(unit_.root(), 0x7FF, run_).passed) << checkMcuFlash(unit_.root(), 0x7FF, run_).detail;
    EXPECT_FALSE(checkMcuFlash(unit_.root(), 0x8FF, run_).passed);  // 0xFF where zeros belong
}

TEST_F(ImageChecks, BluetoothModuleMustHoldTheImageWithoutItsSuffix) {
    auto firmware = Pattern(700, 2);
    auto withSuffix = firmware;
    withSuffix.insert(withSuffix.end(), 16, 0x55);
    PutInPackage("BT.bin", withSuffix);
    EXPECT_FALSE(checkBluetooth(unit_.root(), true, run_).passed);  // nothing received
    EXPECT_TRUE(checkBluetooth(unit_.root(), false, run_).passed);  // and nothing expected
    PutHostFile(unit_.root() / "flash" / "bt_image.bin", withSuffix);
    EXPECT_FALSE(checkBluetooth(unit_.root(), true, run_).passed);  // the suffix went too
    EXPECT_FALSE(checkBluetooth(unit_.root(), false, run_).passed);
    PutHostFile(unit_.root() / "flash" / "bt_image.bin", firmware);
    EXPECT_TRUE(checkBluetooth(unit_.root(), true, run_).passed) << checkBluetooth(unit_.root(), true, run_).detail;
}

TEST_F(ImageChecks, PanelInstallNeedsEveryFileAnEmptyLogAndTheSuccessText) {
    const fs::path source = unit_.root() / "sdcard" / "UpdateXan" / "ZEK_Update";
    const fs::path installed = unit_.root() / "nand" / "ZEK";
    for (const fs::path& base : {source / "ZEK", installed}) {
        PutHostFile(base / "Kelo_ZEK.exe", Pattern(300, 1));
        PutHostFile(base / "Kelo_ZEK_IMG" / "BG_H.bmp", Pattern(900, 2));
    }
    PutHostFile(source / "CRCLOG.TXT", {});
    PageVisit installer;
    installer.kind = PageKind::Installer;
    installer.texts[1000] = {{5, "Verifying CRC32 : 50%"}, {6, "업그레이드가 정상적으로 완료 되었습니다."}};
    run_.visits.push_back(installer);
    EXPECT_TRUE(checkPanelInstall(unit_.root(), run_).passed) << checkPanelInstall(unit_.root(), run_).detail;

    PutHostFile(installed / "Kelo_ZEK_IMG" / "BG_H.bmp", Pattern(900, 3));
    EXPECT_NE(checkPanelInstall(unit_.root(), run_).detail.find("BG_H.bmp was installed with other contents"), std::string::npos);
    PutHostFile(installed / "Kelo_ZEK_IMG" / "BG_H.bmp", Pattern(900, 2));

    PutHostFile(installed / "stale.bmp", Pattern(10, 3));
    EXPECT_FALSE(checkPanelInstall(unit_.root(), run_).passed);
    fs::remove(installed / "stale.bmp");

    fs::remove(installed / "Kelo_ZEK.exe");
    EXPECT_NE(checkPanelInstall(unit_.root(), run_).detail.find("Kelo_ZEK.exe was not installed"), std::string::npos);
    PutHostFile(installed / "Kelo_ZEK.exe", Pattern(300, 1));

    PutHostFile(source / "CRCLOG.TXT", {'x', '\n'});
    EXPECT_NE(checkPanelInstall(unit_.root(), run_).detail.find("CRCLOG.TXT lists failures"), std::string::npos);
    PutHostFile(source / "CRCLOG.TXT", {});

    run_.visits.back().texts[1000].pop_back();
    EXPECT_FALSE(checkPanelInstall(unit_.root(), run_).passed);
}

}  // namespace
}  // namespace hu::demo
