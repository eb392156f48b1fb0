// A second UpdateXan hands over to the running one: it brings the running updater's page to
// the front and ends without a page of its own.

#include <gtest/gtest.h>

#include <thread>

#include "platform/ui/desktop.h"
#include "platform/ui/window.h"
#include "updater/tests/e2e/updater_run.h"

namespace updater::e2e {
namespace {

using namespace std::chrono_literals;

int UpdaterWindows() {
    int count = 0;
    for (const auto& w : ce::enumTopLevelWindows()) count += w.title == "UpdateXan";
    return count;
}

TEST(SingleInstance, SecondStartBringsTheFirstToTheFrontAndEnds) {
    UpdaterRun run;
    run.Package({"--without", "panel"});
    run.StartUpdater();
    ASSERT_TRUE(run.WaitText(1000, "시작", 20));
    const ce::HWND first = ce::findWindow("UpdateXan");
    ASSERT_NE(first, 0u);

    // Something else comes to the front meanwhile.
    ce::Window other;
    ce::WindowSpec shape;
    shape.title = "Other";
    shape.className = "Other";
    shape.style = ce::WS_POPUP | ce::WS_VISIBLE;
    shape.exStyle = ce::WS_EX_TOPMOST;
    shape.rect = {0, 0, 800, 480};
    ASSERT_EQ(other.create(shape), ce::ERROR_SUCCESS);
    ce::setForegroundWindow(other.hwnd());
    ASSERT_EQ(ce::getForegroundWindow(), other.hwnd());

    Child second({std::string(HU_BIN_DIR) + "/UpdateXan"}, run.root() / "log" / "UpdateXan-second.out");
    EXPECT_EQ(second.Wait(15s), 0);
    EXPECT_EQ(ce::getForegroundWindow(), first);
    EXPECT_EQ(ce::enumTopLevelWindows().front().hwnd, first);
    EXPECT_EQ(UpdaterWindows(), 1);
    EXPECT_FALSE(run.Updater().Wait(0ms).has_value());  // the first one still runs

    ASSERT_TRUE(run.Click(1001));
    EXPECT_EQ(run.WaitUpdaterEnd(10s), 0);
}

}  // namespace
}  // namespace updater::e2e
