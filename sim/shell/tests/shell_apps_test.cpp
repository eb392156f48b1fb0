// The shell applications: found by title, log sent and posted messages apart, close on WM_CLOSE.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/core/time.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "sim/headunit/headunit.h"
#include "sim/shell/shell_apps.h"
#include "sim/shell/shell_log.h"

namespace sim {
namespace {

ce::HWND WaitForWindow(const char* title) {
    for (int i = 0; i < 200; ++i) {
        if (ce::HWND hwnd = ce::findWindow(title)) return hwnd;
        ce::sleep(10);
    }
    return 0;
}

// A process joins one desktop for its lifetime, so the tests share one head unit.
class ShellApps : public ::testing::Test {
protected:
    static void SetUpTestSuite() { unit_ = new TempHeadUnit(); }
    static void TearDownTestSuite() { delete unit_; }
    static TempHeadUnit* unit_;
};
TempHeadUnit* ShellApps::unit_ = nullptr;

const ShellMessage* Find(const std::vector<ShellMessage>& log, const std::string& window) {
    for (const auto& m : log) {
        if (m.window == window) return &m;
    }
    return nullptr;
}

TEST_F(ShellApps, LogEachMessageAndCloseOnWmClose) {
    TempHeadUnit& unit = *unit_;
    std::atomic<bool> stop{false};
    int result = -1;
    std::thread shell([&] { result = runShell(unit.root(), {}, &stop); });

    for (const auto& title : kShellWindowTitles) ASSERT_NE(WaitForWindow(title.c_str()), 0u) << title;
    const ce::HWND zovedizuz = ce::findWindow("ZOVEDIZUZ");
    EXPECT_TRUE(ce::postMessage(ce::findWindow("ORV_MAINMENU"), 0x05BC, 0, 0));
    EXPECT_EQ(ce::sendMessage(ce::findWindow("GUI_Main"), 0x059B, 7, 9), 0);
    EXPECT_TRUE(ce::postMessage(zovedizuz, ce::WM_CLOSE, 0, 0));
    for (int i = 0; i < 200 && ce::isWindow(zovedizuz); ++i) ce::sleep(10);
    EXPECT_FALSE(ce::isWindow(zovedizuz));
    EXPECT_EQ(ce::findWindow("ZOVEDIZUZ"), 0u);
    EXPECT_NE(ce::findWindow("ORV_SETUP"), 0u);

    stop = true;
    shell.join();
    EXPECT_EQ(result, 0);

    const auto log = ShellLog::read(unit.root());
    ASSERT_EQ(log.size(), 3u);
    const ShellMessage* mainMenu = Find(log, "ORV_MAINMENU");
    const ShellMessage* guiMain = Find(log, "GUI_Main");
    const ShellMessage* closed = Find(log, "ZOVEDIZUZ");
    ASSERT_TRUE(mainMenu && guiMain && closed);
    EXPECT_EQ(mainMenu->msg, 0x05BCu);
    EXPECT_TRUE(mainMenu->posted);
    EXPECT_EQ(guiMain->msg, 0x059Bu);
    EXPECT_EQ(guiMain->wParam, 7);
    EXPECT_EQ(guiMain->lParam, 9);
    EXPECT_FALSE(guiMain->posted);
    EXPECT_EQ(closed->msg, uint32_t{ce::WM_CLOSE});
    EXPECT_TRUE(closed->posted);
    EXPECT_LE(mainMenu->t_ms, closed->t_ms);
}

TEST_F(ShellApps, EndsWhenTheLastWindowIsClosed) {
    TempHeadUnit& unit = *unit_;
    ShellOptions options;
    options.titles = {"GUI_Main"};
    int result = -1;
    std::thread shell([&] { result = runShell(unit.root(), options, nullptr); });
    const ce::HWND guiMain = WaitForWindow("GUI_Main");
    ASSERT_NE(guiMain, 0u);
    ce::sendMessage(guiMain, ce::WM_CLOSE, 0, 0);
    shell.join();
    EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace sim
