// `hu mcu-flash` and `hu bt-dfu` as people use them: bad arguments and unusable images are
// refused in one line before the board or a module is touched, a run says when the image and
// the flash differ in size, failures and Ctrl-C say what state the MCU's flash is in.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "sim/headunit/headunit.h"
#include "tools/hu/tests/run_command.h"

namespace {

namespace fs = std::filesystem;
using hu::testing::Background;
using hu::testing::hu;
using hu::testing::runCommand;

// A small MCU: 8 KiB of flash, 32 blocks of 256 bytes.
constexpr int kFlashSize = 0x2000;

class FlashCommands : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/hu-flash-XXXXXX";
        dir_ = ::mkdtemp(templ);
        sim::createHeadUnit(dir_ / "unit");
    }
    void TearDown() override {
        mcu_.reset();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string unit() const { return (dir_ / "unit").string(); }
    fs::path file(const std::string& name, size_t size) const {
        std::ofstream(dir_ / name, std::ios::binary) << std::string(size, '\x5A');
        return dir_ / name;
    }
    void startMcu(const std::string& options) {
        std::vector<std::string> argv = {std::string(HU_BIN_DIR) + "/hu", "sim", unit(), "mcu", "--last-address", "0x1FFF", "--blocks", "8"};
        std::istringstream words(options);
        for (std::string w; words >> w;) argv.push_back(w);
        mcu_ = std::make_unique<Background>(argv);
        ASSERT_TRUE(mcu_->waitForOutput("mcu: chip")) << mcu_->err();
    }
    std::string boardEvents() { return runCommand(hu("board " + unit() + " --json")).out; }

    fs::path dir_;
    std::unique_ptr<Background> mcu_;
};

TEST_F(FlashCommands, RefuseBadArgumentsAndUnusableImagesBeforeTouchingAnything) {
    const std::string board = boardEvents();
    struct Case {
        std::string command;
        int status;
        std::string says;
    };
    const std::vector<Case> cases = {
        {"mcu-flash " + unit() + " --chip abc", 2, "hu mcu-flash: --chip: abc is not a whole number (0..1) (hu mcu-flash --help)\n"},
        {"mcu-flash " + unit() + " --fast", 2, "hu mcu-flash: unknown option --fast (hu mcu-flash --help)\n"},
        {"bt-dfu " + unit() + " --chip 1", 2, "hu bt-dfu: unknown option --chip (hu bt-dfu --help)\n"},
        {"mcu-flash " + unit(), 1,
         "hu mcu-flash: no MCU image at \\SDMMC Card\\UpdateXan\\MICOM.BIN: build a package (hu package DIR) or name one with --file HOSTFILE\n"},
        {"mcu-flash " + unit() + " --file " + file("empty.bin", 0).string(), 1, "is empty: it holds no firmware\n"},
        {"mcu-flash " + unit() + " --file " + file("image.bin", 100).string(), 1, "hu mcu-flash: no MCU linked at dev/COM5: start hu sim DIR mcu\n"},
        {"bt-dfu " + unit() + " --file " + file("tiny.bin", 16).string(), 1,
         "has 16 bytes: too small to hold firmware and its 16-byte DFU suffix\n"},
    };
    for (const auto& c : cases) {
        auto run = runCommand(hu(c.command));
        EXPECT_EQ(run.status, c.status) << c.command << ": " << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.command << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.command << ": " << run.err;
    }
    EXPECT_EQ(boardEvents(), board);  // the MCU was never put into programming mode
}

TEST_F(FlashCommands, SaysWhenTheImageAndTheFlashDifferInSize) {
    ASSERT_NO_FATAL_FAILURE(startMcu(""));
    auto shortRun = runCommand(hu("mcu-flash " + unit() + " --file " + file("short.bin", 1000).string()), "", 120);
    ASSERT_EQ(shortRun.status, 0) << shortRun.err;
    EXPECT_NE(shortRun.out.find("mcu: the image has 1000 bytes, the flash 8192: the last 7192 bytes were programmed as zeros\n"),
              std::string::npos)
        << shortRun.out;
    auto longRun = runCommand(hu("mcu-flash " + unit() + " --file " + file("long.bin", kFlashSize + 808).string()), "", 120);
    ASSERT_EQ(longRun.status, 0) << longRun.err;
    EXPECT_NE(longRun.out.find("mcu: the image has 9000 bytes, the flash 8192: its last 808 bytes were left out\n"), std::string::npos)
        << longRun.out;
    auto exact = runCommand(hu("mcu-flash " + unit() + " --file " + file("exact.bin", kFlashSize).string()), "", 120);
    ASSERT_EQ(exact.status, 0) << exact.err;
    EXPECT_EQ(exact.out.find("mcu: the image has"), std::string::npos) << exact.out;
}

TEST_F(FlashCommands, AFailureIsOneLineThatSaysWhatToDo) {
    ASSERT_NO_FATAL_FAILURE(startMcu("--write-error 5"));
    auto run = runCommand(hu("mcu-flash " + unit() + " --file " + file("image.bin", kFlashSize).string()), "", 120);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(std::regex_search(run.err, std::regex("^hu mcu-flash: the MCU did not take block [0-9]+ of 32: the MCU's flash is "
                                                      "partly written; run hu mcu-flash again \\(log: [^\\n]*\\)\\n$")))
        << run.err;
}

TEST_F(FlashCommands, CtrlCSaysWhatStateTheFlashWasLeftIn) {
    ASSERT_NO_FATAL_FAILURE(startMcu("--block-ms 400"));
    Background flash({std::string(HU_BIN_DIR) + "/hu", "mcu-flash", unit(), "--file", file("image.bin", kFlashSize).string()});
    ASSERT_TRUE(flash.waitForOutput("mcu: writing\n", 120)) << flash.out() << flash.err();
    EXPECT_EQ(flash.stop(SIGINT), 130);
    EXPECT_TRUE(std::regex_match(flash.err(), std::regex("hu mcu-flash: interrupted while writing block [0-9]+ of 32: the MCU's "
                                                         "flash is partly written; run hu mcu-flash again\\n")))
        << flash.err();
}

TEST_F(FlashCommands, CtrlCStopsABluetoothDownloadWithOneLine) {
    Background module({std::string(HU_BIN_DIR) + "/hu", "sim", unit(), "bluetooth", "--paced"});
    ASSERT_TRUE(module.waitForOutput("bluetooth: module")) << module.err();
    Background dfu({std::string(HU_BIN_DIR) + "/hu", "bt-dfu", unit(), "--file", file("module.bin", 256 * 1024).string()});
    ASSERT_TRUE(dfu.waitForOutput("bluetooth: updating from", 120)) << dfu.err();
    std::this_thread::sleep_for(std::chrono::seconds(5));  // into the download (or not: both ends are one line)
    EXPECT_EQ(dfu.stop(SIGINT), 130);
    EXPECT_TRUE(std::regex_match(dfu.err(), std::regex("hu bt-dfu: (interrupted before the first block: the module's firmware is "
                                                       "unchanged|interrupted after [0-9]+ blocks: the module holds part of the "
                                                       "image; run hu bt-dfu again)\\n")))
        << dfu.err();
}

}  // namespace
