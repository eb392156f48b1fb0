// ZEK_Update as a program in a temporary head unit: the package is built with `hu package`, the
// installer is started from the card like the updater starts it, and its window is watched and
// driven from outside (`hu ctl`, and a fast poll of the status line through the desktop so the
// short-lived phase texts are seen).

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "installer/tests/test_support.h"
#include "platform/ui/desktop.h"
#include "platform/ui/message.h"
#include "sim/headunit/headunit.h"

extern char** environ;

namespace installer {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::readHostFile;
using testing::writeHostFile;

constexpr const char* kSuccess = "업그레이드가 정상적으로 완료 되었습니다.";
std::string failureText(int files) {
    return "업그레이드가 실패했습니다. 업그레이드 파일을 확인하세요.(Error : " + std::to_string(files) + " files)";
}

std::string randomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

std::string utf16le(std::string_view ascii) {
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

bool startsWith(const std::string& s, std::string_view prefix) { return s.rfind(prefix, 0) == 0; }

// The window system binds a process to one desktop when it first uses it, so every test of
// this suite shares one head unit; each test starts from an empty card, flash and log.
class ZekUpdateProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite() { shared_ = new sim::TempHeadUnit(); }
    static void TearDownTestSuite() {
        delete shared_;
        shared_ = nullptr;
    }
    void SetUp() override {
        for (const fs::path& folder : {unit_.sdcard(), unit_.nand(), unit_.root() / "log", panelFiles()}) {
            fs::create_directories(folder);
            for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
        }
    }
    ~ZekUpdateProgram() override {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    size_t oemCalls() {
        std::string board;
        if (hu("board " + root() + " --json", &board) != 0) return SIZE_MAX;
        return nlohmann::json::parse(board)["oem"].size();
    }

    fs::path package() const { return unit_.sdcard() / "UpdateXan" / "ZEK_Update"; }
    fs::path panelFiles() const { return unit_.root() / "panel-files"; }

    // Runs `hu ARGS`; returns its exit status and its standard output.
    int hu(const std::string& args, std::string* output = nullptr) {
        const std::string command = std::string(HU_BIN_DIR) + "/hu " + args + " 2>&1";
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe) return -1;
        std::string text;
        char buffer[4096];
        while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
        const int status = ::pclose(pipe);
        if (output) *output = text;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string root() const {
        std::string quoted(1, '\'');
        quoted += unit_.root().string();
        quoted += '\'';
        return quoted;
    }

    // The panel's files on the host, put on the card with `hu package`.
    void buildPackage() {
        writeHostFile(panelFiles() / "Kelo_ZEK.exe", randomBytes(3 << 20, 1));
        for (int i = 0; i < 24; ++i)
            writeHostFile(panelFiles() / "Kelo_ZEK_IMG" / ("img" + std::to_string(i) + ".bmp"),
                          randomBytes(1 << 20, static_cast<uint32_t>(10 + i)));
        std::string out;
        ASSERT_EQ(hu("package " + root() + " --panel '" + (panelFiles() / "Kelo_ZEK.exe").string() + "' '" +
                         (panelFiles() / "Kelo_ZEK_IMG").string() + "'",
                     &out),
                  0)
            << out;
    }

    // An earlier installation: read-only members and many files that the package no longer has.
    void writeOldInstallation() {
        writeHostFile(unit_.nand() / "ZEK" / "Kelo_ZEK.exe", "old program");
        for (int i = 0; i < 300; ++i)
            writeHostFile(unit_.nand() / "ZEK" / "OLD" / ("stale" + std::to_string(i) + ".txt"), "stale");
        ASSERT_EQ(hu("ctl " + root() + " list"), 0);  // the desktop exists before attributes are set
        ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\ZEK\\Kelo_ZEK.exe", ce::FILE_ATTRIBUTE_READONLY), 0u);
        ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\ZEK\\OLD", ce::FILE_ATTRIBUTE_READONLY), 0u);
    }

    void start(const fs::path& program) {
        const std::string path = program.string();
        char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
        ASSERT_EQ(::posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, environ), 0);
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < deadline) {
            for (const auto& w : ce::enumTopLevelWindows()) {
                // The window is listed as soon as it exists; its controls follow.
                if (w.title == "ZEK_UPDATE" && w.pid == pid_) hwnd_ = w.hwnd;
            }
            if (hwnd_ && control(1002)) return;
            std::this_thread::sleep_for(1ms);
        }
        FAIL() << "ZEK_Update showed no window";
    }

    std::optional<ce::ControlState> control(int id) {
        auto controls = ce::describeControls(hwnd_);
        if (!controls) return std::nullopt;
        for (const auto& c : *controls)
            if (c.id == id) return c;
        return std::nullopt;
    }

    // Every distinct text of the status line until one satisfies done (or the time runs out).
    std::vector<std::string> watchStatus(const std::function<bool(const std::string&)>& done,
                                         std::chrono::seconds timeout = 60s,
                                         const std::function<void(const std::string&)>& onText = {}) {
        std::vector<std::string> seen;
        if (hwnd_ == 0) return {""};
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (const auto status = control(1000); status && (seen.empty() || seen.back() != status->text)) {
                seen.push_back(status->text);
                if (onText) onText(status->text);
                if (done(status->text)) return seen;
            }
            std::this_thread::sleep_for(500us);
        }
        ADD_FAILURE() << "the status line never reached its final text; last: " << (seen.empty() ? "" : seen.back());
        return seen;
    }

    // The Exit button is shown right after the result text: poll for it.
    bool exitShown() {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (const auto exit = control(1002); exit && exit->visible) return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }

    bool exitsWithin(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    std::string programLog() {
        std::string all;
        for (const auto& entry : fs::directory_iterator(unit_.root() / "log")) all += readHostFile(entry.path());
        return all;
    }

    static sim::TempHeadUnit* shared_;
    sim::TempHeadUnit& unit_ = *shared_;
    pid_t pid_ = -1;
    ce::HWND hwnd_ = 0;
};

sim::TempHeadUnit* ZekUpdateProgram::shared_ = nullptr;

TEST_F(ZekUpdateProgram, InstallsVerifiesAndEndsOnATap) {
    ASSERT_NO_FATAL_FAILURE(buildPackage());
    ASSERT_NO_FATAL_FAILURE(writeOldInstallation());
    writeHostFile(package() / "CRCLOG.TXT", "log of an earlier run");
    ASSERT_NO_FATAL_FAILURE(start(package() / "ZEK_Update.exe"));
    const auto exitButton = control(1002);
    ASSERT_TRUE(exitButton);
    EXPECT_FALSE(exitButton->visible);  // no Exit button while the run goes on

    const auto seen = watchStatus([](const std::string& t) { return t == kSuccess || startsWith(t, "업그레이드가 실패"); });
    ASSERT_EQ(seen.back(), kSuccess);
    // The phases in their order: delete, copy, verification, result. A poll from outside may
    // miss a short phase on a busy machine, so every phase seen must come in order, and what
    // each phase did is checked on the files below.
    auto phaseOf = [](const std::string& t) {
        return startsWith(t, "Delete : ") ? 1 : startsWith(t, "Copy : ") ? 2 : startsWith(t, "Verifying CRC32 : ") ? 3 : 0;
    };
    int phase = 0;
    for (const auto& text : seen) {
        const int next = phaseOf(text);
        if (next == 0) continue;
        EXPECT_GE(next, phase) << text << " after a later phase";
        phase = std::max(phase, next);
    }

    EXPECT_TRUE(exitShown());
    const auto bar = control(1001);
    EXPECT_EQ(bar->pos, 100);
    EXPECT_EQ(bar->rangeMax, 100);

    // The old tree is gone (read-only members included) and the package is in its place.
    EXPECT_FALSE(fs::exists(unit_.nand() / "ZEK" / "OLD"));
    EXPECT_EQ(readHostFile(unit_.nand() / "ZEK" / "Kelo_ZEK.exe"), readHostFile(panelFiles() / "Kelo_ZEK.exe"));
    EXPECT_EQ(readHostFile(unit_.nand() / "ZEK" / "Kelo_ZEK_IMG" / "img23.bmp"),
              readHostFile(panelFiles() / "Kelo_ZEK_IMG" / "img23.bmp"));
    EXPECT_TRUE(fs::exists(package() / "CRCLOG.TXT"));
    EXPECT_EQ(fs::file_size(package() / "CRCLOG.TXT"), 0u);

    // The pen going down already ends the program (so the tap's pen-up finds no window).
    std::string out;
    ASSERT_EQ(hu("ctl " + root() + " tap 400 420 --down", &out), 0) << out;
    EXPECT_TRUE(exitsWithin(30s));
}

// A second start (a second press of the updater's button) ends quietly and leaves the running
// installer alone, whichever folder it was started from.
TEST_F(ZekUpdateProgram, ASecondInstallerEndsQuietly) {
    ASSERT_NO_FATAL_FAILURE(buildPackage());
    ASSERT_NO_FATAL_FAILURE(start(package() / "ZEK_Update.exe"));
    const pid_t first = pid_;
    const fs::path elsewhere = unit_.nand() / "Elsewhere";
    fs::copy(package(), elsewhere, fs::copy_options::recursive);
    for (const fs::path& program : {package() / "ZEK_Update.exe", elsewhere / "ZEK_Update.exe"}) {
        const std::string path = program.string();
        char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
        pid_t second = -1;
        ASSERT_EQ(::posix_spawn(&second, path.c_str(), nullptr, nullptr, argv, environ), 0);
        int status = -1;
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (::waitpid(second, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        if (!WIFEXITED(status)) {
            ::kill(second, SIGKILL);
            ::waitpid(second, nullptr, 0);
            FAIL() << "the second installer did not end";
        }
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    int windows = 0;
    for (const auto& w : ce::enumTopLevelWindows()) windows += w.title == "ZEK_UPDATE";
    EXPECT_EQ(windows, 1);
    EXPECT_EQ(pid_, first);
    const auto seen = watchStatus([](const std::string& t) { return t == kSuccess || startsWith(t, "업그레이드가 실패"); });
    EXPECT_EQ(seen.back(), kSuccess);
    EXPECT_NE(programLog().find("ZEK_Update is running already"), std::string::npos);
}

TEST_F(ZekUpdateProgram, FailuresAreLoggedAndOnlyExitEndsTheProgram) {
    ASSERT_NO_FATAL_FAILURE(buildPackage());
    // Pair 2 names a folder the package lacks: its destination must stay as it is.
    writeHostFile(package() / "ZEK_Update.ini",
                  "[Source]\r\nsrc1 = ZEK\r\nsrc2 = NotInPackage\r\n"
                  "[Destination]\r\ndst1 = \\NAND Flash\\ZEK\r\ndst2 = \\NAND Flash\\Keep\r\n");
    writeHostFile(unit_.nand() / "Keep" / "keep.txt", "keep me");
    // The list expects a different content of one file and names one the package lacks.
    std::string list = readHostFile(package() / "ZEK.crc");
    list += "Kelo_ZEK_IMG\\img3.bmp:00000001\r\nmissing.bin:00000000\r\n";
    writeHostFile(package() / "ZEK.crc", list);

    ASSERT_NO_FATAL_FAILURE(start(package() / "ZEK_Update.exe"));
    const auto seen = watchStatus([](const std::string& t) { return startsWith(t, "업그레이드가"); });
    ASSERT_EQ(seen.back(), failureText(2));
    EXPECT_TRUE(exitShown());
    EXPECT_EQ(control(1001)->pos, 0);
    EXPECT_EQ(readHostFile(unit_.nand() / "Keep" / "keep.txt"), "keep me");
    EXPECT_EQ(readHostFile(package() / "CRCLOG.TXT"),
              utf16le("\\NAND Flash\\ZEK\\Kelo_ZEK_IMG\\img3.bmp file failed in CRC comparing\r\n"
                      "\\NAND Flash\\ZEK\\missing.bin file does not exist!\r\n"));

    ASSERT_EQ(hu("ctl " + root() + " tap 400 420"), 0);
    EXPECT_FALSE(exitsWithin(1s));  // a tap ends only a successful run
    std::string out;
    ASSERT_EQ(hu("ctl " + root() + " click --program ZEK_Update.exe 1002", &out), 0) << out;
    EXPECT_TRUE(exitsWithin(30s));
}

// An INI that gives no pair installs nothing and fails with a count of 0; a source written
// with a trailing backslash is still checked against its list.
TEST_F(ZekUpdateProgram, AnIniWithoutUsablePairsFailsAndATrailingBackslashIsChecked) {
    ASSERT_NO_FATAL_FAILURE(buildPackage());
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[Source]\r\nsrc1 = ZEK\r\n[Destination]\r\ndst1 = \\NAND Flash\\ZEK\r\n")) utf16 += {c, '\0'};
    const std::string wrongList = readHostFile(package() / "ZEK.crc") + "Kelo_ZEK_IMG\\img3.bmp:00000001\r\n";
    struct Case {
        std::string ini;
        std::string list;
        std::string result;
    };
    for (const Case& c : {Case{"", "", failureText(0)}, Case{"\x01\x02garbage\xFF\r\n", "", failureText(0)}, Case{utf16, "", failureText(0)},
                          Case{"[Source]\r\nsrc1 = ZEK\r\n", "", failureText(0)},
                          Case{"[Source]\r\nsrc1 = ZEK\\\r\n[Destination]\r\ndst1 = \\NAND Flash\\ZEK\r\n", wrongList, failureText(1)}}) {
        writeHostFile(package() / "ZEK_Update.ini", c.ini);
        if (!c.list.empty()) writeHostFile(package() / "ZEK.crc", c.list);
        ASSERT_NO_FATAL_FAILURE(start(package() / "ZEK_Update.exe"));
        const auto seen = watchStatus([](const std::string& t) { return startsWith(t, "업그레이드가"); });
        EXPECT_EQ(seen.back(), c.result) << c.ini;
        ASSERT_TRUE(exitShown());
        std::string out;
        ASSERT_EQ(hu("ctl " + root() + " click --program ZEK_Update.exe 1002", &out), 0) << out;
        EXPECT_TRUE(exitsWithin(5s));
        if (c.list.empty()) {
            EXPECT_FALSE(fs::exists(unit_.nand() / "ZEK")) << c.ini;
            EXPECT_NE(programLog().find("gives no usable source/destination pair"), std::string::npos);
        }
    }
}

TEST_F(ZekUpdateProgram, WithoutChecksumListsTheCopyIsReportedAsFailedAndNoLogIsMade) {
    ASSERT_NO_FATAL_FAILURE(buildPackage());
    fs::remove(package() / "ZEK.crc");
    ASSERT_NO_FATAL_FAILURE(start(package() / "ZEK_Update.exe"));
    const auto seen = watchStatus([](const std::string& t) { return startsWith(t, "업그레이드가"); });
    EXPECT_EQ(seen.back(), failureText(0));
    EXPECT_FALSE(fs::exists(package() / "CRCLOG.TXT"));
    EXPECT_EQ(readHostFile(unit_.nand() / "ZEK" / "Kelo_ZEK.exe"), readHostFile(panelFiles() / "Kelo_ZEK.exe"));
    // A device-change notification ends it; no kernel call after a failed run.
    const size_t callsBefore = oemCalls();
    ASSERT_EQ(hu("ctl " + root() + " post --program ZEK_Update.exe 0x219 0x8004 0"), 0);
    EXPECT_TRUE(exitsWithin(30s));
    EXPECT_EQ(oemCalls(), callsBefore);
}

TEST_F(ZekUpdateProgram, StartedFromAnotherFolderItUsesItsOwnFilesButTheCardsLog) {
    ASSERT_NO_FATAL_FAILURE(buildPackage());
    const fs::path elsewhere = unit_.nand() / "Elsewhere";
    fs::copy(package(), elsewhere, fs::copy_options::recursive);
    for (const auto& entry : fs::directory_iterator(package())) fs::remove_all(entry.path());
    writeHostFile(elsewhere / "ZEK.crc", readHostFile(elsewhere / "ZEK.crc") + "absent.bin:0000000A\r\n");

    ASSERT_NO_FATAL_FAILURE(start(elsewhere / "ZEK_Update.exe"));
    const auto seen = watchStatus([](const std::string& t) { return startsWith(t, "업그레이드가"); });
    EXPECT_EQ(seen.back(), failureText(1));
    EXPECT_EQ(readHostFile(unit_.nand() / "ZEK" / "Kelo_ZEK.exe"), readHostFile(panelFiles() / "Kelo_ZEK.exe"));
    EXPECT_EQ(readHostFile(package() / "CRCLOG.TXT"), utf16le("\\NAND Flash\\ZEK\\absent.bin file does not exist!\r\n"));
    EXPECT_FALSE(fs::exists(elsewhere / "CRCLOG.TXT"));
}

TEST_F(ZekUpdateProgram, WithoutItsIniFileItWaitsForADeviceChange) {
    ASSERT_NO_FATAL_FAILURE(buildPackage());
    fs::remove(package() / "ZEK_Update.ini");
    ASSERT_NO_FATAL_FAILURE(start(package() / "ZEK_Update.exe"));
    std::this_thread::sleep_for(1500ms);  // well past the install timer
    EXPECT_EQ(control(1000)->text, "");
    EXPECT_FALSE(control(1002)->visible);
    EXPECT_EQ(control(1001)->pos, 0);
    EXPECT_FALSE(fs::exists(unit_.nand() / "ZEK"));

    ASSERT_EQ(hu("ctl " + root() + " send --program ZEK_Update.exe 0x43C 42 0"), 0);
    ASSERT_EQ(hu("ctl " + root() + " send --program ZEK_Update.exe 0x43C 0 1"), 0);
    EXPECT_NE(programLog().find("Format is progressing 42 %..\r\n"), std::string::npos);
    EXPECT_NE(programLog().find("Format is finished..\r\n"), std::string::npos);

    ASSERT_EQ(hu("ctl " + root() + " tap 400 420"), 0);
    ASSERT_EQ(hu("ctl " + root() + " post --program ZEK_Update.exe 0x219 0x0003 0"), 0);  // no bit 4
    EXPECT_FALSE(exitsWithin(1s));
    ASSERT_EQ(hu("ctl " + root() + " post --program ZEK_Update.exe 0x219 0x0004 0"), 0);
    EXPECT_TRUE(exitsWithin(30s));
}

TEST_F(ZekUpdateProgram, ASuspendStopsTheRunUntilTheSystemResumes) {
    ASSERT_NO_FATAL_FAILURE(buildPackage());
    ASSERT_NO_FATAL_FAILURE(start(package() / "ZEK_Update.exe"));
    // The system suspends before the install timer fires (half a second after the window
    // appears); a suspend in the middle of a walk is covered by the engine's tests.
    ASSERT_TRUE(ce::postMessage(hwnd_, 0x0218, 4, 0));
    const auto seen = watchStatus(
        [](const std::string& t) { return t == "InstallDorin failed. Please, wait again.." || startsWith(t, "업그레이드가"); });
    ASSERT_EQ(seen.back(), "InstallDorin failed. Please, wait again..");
    EXPECT_FALSE(control(1002)->visible);
    EXPECT_EQ(control(1001)->pos, 0);
    EXPECT_FALSE(fs::exists(unit_.nand() / "ZEK" / "Kelo_ZEK.exe"));  // nothing was copied

    // Still suspended: the retry three seconds later stops again at once.
    std::this_thread::sleep_for(3500ms);
    EXPECT_EQ(control(1000)->text, "InstallDorin failed. Please, wait again..");
    std::string out;
    ASSERT_EQ(hu("ctl " + root() + " post --program ZEK_Update.exe 0x218 7 0", &out), 0) << out;  // resume
    const auto after = watchStatus([](const std::string& t) { return startsWith(t, "업그레이드가"); }, 30s);
    EXPECT_EQ(after.back(), kSuccess);

    // A device change after success tells the kernel, then ends the program.
    const size_t callsBefore = oemCalls();
    ASSERT_EQ(hu("ctl " + root() + " post --program ZEK_Update.exe 0x219 0x8004 0"), 0);
    EXPECT_TRUE(exitsWithin(30s));
    std::string board;
    ASSERT_EQ(hu("board " + root() + " --json", &board), 0) << board;
    const auto oem = nlohmann::json::parse(board)["oem"];
    ASSERT_EQ(oem.size(), callsBefore + 1);
    EXPECT_EQ(oem.back()["code"].get<uint32_t>(), 0x010120F0u);
    EXPECT_EQ(oem.back()["input"].get<std::string>(), "01");
}

}  // namespace
}  // namespace installer
