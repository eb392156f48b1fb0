// Kelo_ZEK as a program, installed in "\NAND Flash\ZEK" of a temporary head unit and driven
// from this process through the desktop, as the navigation program and a person would:
// one instance only, records sent by WM_COPYDATA from another process and checked on the
// composed screen, the destroy code ending the program.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "panel/frame/panel_messages.h"
#include "panel/guidance/guidance_record.h"
#include "panel/images/image_table.h"
#include "panel/tests/test_support.h"
#include "platform/ui/desktop.h"
#include "platform/ui/message.h"

extern char** environ;

namespace panel::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Program {
public:
    explicit Program(const fs::path& file) {
        const std::string path = file.string();
        char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
        if (::posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, environ) != 0) pid_ = -1;
    }
    ~Program() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    int pid() const { return pid_; }
    // The exit status once the program has ended within the time, else -1.
    int WaitForExit(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(5ms);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
};

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

std::optional<ce::TopLevelWindow> PanelWindow(int pid) {
    for (const auto& w : ce::enumTopLevelWindows())
        if (w.title == kMainWindowTitle && w.pid == pid) return w;
    return std::nullopt;
}

std::string LogText() {
    std::ifstream in(HeadUnit().root() / "log" / "Kelo_ZEK.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class KeloZekProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        HeadUnit();
        InstallTestImages();
        fs::copy_file(fs::path(HU_BIN_DIR) / "Kelo_ZEK", Installed(), fs::copy_options::overwrite_existing);
    }
    void SetUp() override {
        std::error_code ec;
        fs::remove(HeadUnit().root() / "log" / "Kelo_ZEK.log", ec);
        fs::remove(HeadUnit().nand() / "ZEK" / "ZEK.cfg", ec);
    }
    static fs::path Installed() { return HeadUnit().nand() / "ZEK" / "Kelo_ZEK.exe"; }

    // Starts the installed program and waits for its window.
    std::unique_ptr<Program> StartPanel() {
        auto program = std::make_unique<Program>(Installed());
        EXPECT_GT(program->pid(), 0);
        EXPECT_TRUE(WaitFor([&] { return PanelWindow(program->pid()).has_value(); }, 20s)) << "no window";
        return program;
    }
};

TEST_F(KeloZekProgram, OnlyOneRuns) {
    auto first = StartPanel();
    const ce::HWND window = PanelWindow(first->pid())->hwnd;
    ce::setForegroundWindow(0);
    Program second(Installed());  // the same program: finds the first and brings it forward
    EXPECT_EQ(second.WaitForExit(15s), 0);
    EXPECT_EQ(ce::getForegroundWindow(), window);
    Program other(fs::path(HU_BIN_DIR) / "Kelo_ZEK");  // another copy: the panel mutex stops it
    EXPECT_EQ(other.WaitForExit(15s), 0);
    EXPECT_TRUE(PanelWindow(first->pid()).has_value());
    EXPECT_EQ(first->WaitForExit(0ms), -1);
}

TEST_F(KeloZekProgram, DrawsARecordSentFromAnotherProcessOnTheScreen) {
    auto program = StartPanel();
    const ce::HWND window = PanelWindow(program->pid())->hwnd;
    EXPECT_TRUE(PanelWindow(program->pid())->rect.empty());
    GuidanceInfo info;
    info.distance = 1500;
    info.turnCode = 3;
    info.safetyCode = 111;
    const auto bytes = EncodeGuidanceRecord(info);
    const ce::CopyDataStruct record{kCopyRequest, static_cast<uint32_t>(bytes.size()), bytes.data()};
    EXPECT_EQ(ce::sendMessage(window, ce::WM_COPYDATA, 0, reinterpret_cast<ce::LPARAM>(&record)), -1);  // hidden

    ASSERT_TRUE(ce::postMessage(window, WM_SHOW_PANEL, 1, 0));
    ASSERT_TRUE(WaitFor([&] { return PanelWindow(program->pid())->visible && !PanelWindow(program->pid())->rect.empty(); }, 10s));
    EXPECT_EQ(PanelWindow(program->pid())->rect, (ce::Rect{0, 0, 250, 480}));
    EXPECT_EQ(ce::sendMessage(window, ce::WM_COPYDATA, 0, reinterpret_cast<ce::LPARAM>(&record)), 0);
    const ce::CopyDataStruct cut{kCopyRequest, 300, bytes.data()};
    EXPECT_EQ(ce::sendMessage(window, ce::WM_COPYDATA, 0, reinterpret_cast<ce::LPARAM>(&cut)), -1);

    const ce::Surface screen = CaptureScreen();  // the vertical panel at the screen's corner
    EXPECT_EQ(screen.pixel(5, 85), PositionPixel(5, 85, kVerticalSalt));
    EXPECT_EQ(screen.pixel(42, 202), PositionPixel(42, 202, kVerticalSalt));  // turn 3: keyed
    EXPECT_EQ(screen.pixel(100, 250), IconPixel(IMG_TURN_FIRST + 3));
    EXPECT_EQ(screen.pixel(42, 12), kTurnKeyPixel);  // safety 111: opaque
    EXPECT_EQ(screen.pixel(100, 60), IconPixel(IMG_SAFETY_111));
    EXPECT_EQ(screen.pixel(300, 200), 0u);  // nothing else on the screen

    ce::sendMessage(ce::HWND_BROADCAST, ce::registerWindowMessage(kBroadcastMessageName), 1019, 0);  // end of guidance
    EXPECT_EQ(PanelWindow(program->pid())->rect, (ce::Rect{0, 0, 250, 480}));
    ASSERT_TRUE(ce::postMessage(window, WM_SHOW_PANEL, 0, 0));
    EXPECT_TRUE(WaitFor([&] { return !PanelWindow(program->pid())->visible; }, 10s));
}

TEST_F(KeloZekProgram, TheDestroyCodeEndsTheProgram) {
    auto program = StartPanel();
    ce::sendMessage(ce::HWND_BROADCAST, ce::registerWindowMessage(kBroadcastMessageName), 1005, 0);
    EXPECT_EQ(program->WaitForExit(10s), 0);
    const std::string log = LogText();
    EXPECT_EQ(log.rfind("AddFontResource Fail\r\n### Kelo ZEK Start!!!\r\n", 0), 0u) << log;
    EXPECT_NE(log.find("[Kelo ZEK] BM_NOTIFY_DESTROY\r\n"), std::string::npos) << log;
    const std::string end = "### Kelo ZEK End!!!\r\n";
    EXPECT_EQ(log.substr(log.size() - std::min(log.size(), end.size())), end) << log;
    // The saved configuration of a first start.
    std::ifstream config(HeadUnit().nand() / "ZEK" / "ZEK.cfg", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(config), {}), std::string("\x01\0\0\0\0\0\0\0", 8));
}

}  // namespace
}  // namespace panel::testing
