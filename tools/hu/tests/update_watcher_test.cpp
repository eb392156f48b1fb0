// UpdateWatcher on made-up looks at the desktop: what it tells, in which order, and the result
// it comes to, including the ends a script relies on (a failed update, an updater that dies,
// a package with nothing new).

#include <gtest/gtest.h>

#include "installer/dialog/installer_dlg.h"
#include "tools/hu/demo/update_watcher.h"
#include "updater/main_page/main_page_texts.h"

namespace hu::demo {
namespace {

using updater::Language;

ce::ControlState Control(int id, const std::string& text) {
    ce::ControlState c;
    c.id = id;
    c.text = text;
    c.visible = true;
    return c;
}

ce::ControlState Bar(int id, int pos, int max) {
    ce::ControlState c = Control(id, "");
    c.hasRange = true;
    c.rangeMin = 0;
    c.rangeMax = max;
    c.pos = pos;
    return c;
}

PageSighting Page(ce::HWND hwnd, PageKind kind, std::vector<ce::ControlState> controls) {
    controls.insert(controls.begin(), Control(0, "window"));
    return PageSighting{hwnd, kind, std::move(controls)};
}

PageSighting MainPage(const std::string& message) { return Page(1, PageKind::Main, {Control(1006, message)}); }
PageSighting McuPage(const std::string& status, int pos) { return Page(2, PageKind::Mcu, {Control(1004, status), Bar(1005, pos, 200)}); }
PageSighting Installer(const std::string& status) { return Page(3, PageKind::Installer, {Control(1000, status), Bar(1001, 5, 10)}); }

DesktopLook Look(std::vector<PageSighting> pages, bool updater = true, bool installer = false) {
    DesktopLook look;
    look.pages = std::move(pages);
    look.updaterRunning = updater;
    look.installerRunning = installer;
    return look;
}

std::vector<std::string> Kinds(const std::vector<WatchEvent>& events) {
    std::vector<std::string> kinds;
    for (const auto& e : events) kinds.push_back(e.kind);
    return kinds;
}

TEST(UpdateWatcher, TellsPagesStatusProgressAndTheSuccessInOrder) {
    UpdateWatcher w;
    const std::string newSoftware = updater::texts::NewSoftwareMessage(Language::Korean);
    auto first = w.observe(Look({MainPage(newSoftware)}), 10);
    ASSERT_EQ(Kinds(first), (std::vector<std::string>{"page"}));
    EXPECT_EQ(first[0].program, "UpdateXan");
    EXPECT_EQ(first[0].page, "main");

    auto mcu = w.observe(Look({MainPage(newSoftware), McuPage("Connecting", 0)}), 20);
    ASSERT_EQ(Kinds(mcu), (std::vector<std::string>{"page"}));
    EXPECT_EQ(mcu[0].page, "mcu-update");
    EXPECT_EQ(mcu[0].progress, 0);
    EXPECT_TRUE(w.observe(Look({MainPage(newSoftware), McuPage("Connecting", 0)}), 25).empty()) << "nothing changed";

    auto progress = w.observe(Look({MainPage(newSoftware), McuPage("Connecting", 50)}), 30);
    ASSERT_EQ(Kinds(progress), (std::vector<std::string>{"progress"}));
    EXPECT_EQ(progress[0].progress, 25);
    auto status = w.observe(Look({MainPage(newSoftware), McuPage("Writing", 200)}), 40);
    ASSERT_EQ(Kinds(status), (std::vector<std::string>{"status"}));
    EXPECT_EQ(status[0].text, "Writing");
    EXPECT_EQ(status[0].progress, 100);

    auto closed = w.observe(Look({MainPage(newSoftware)}), 50);
    ASSERT_EQ(Kinds(closed), (std::vector<std::string>{"closed"}));
    EXPECT_EQ(closed[0].text, "Writing") << "a closing page tells its last words";
    EXPECT_FALSE(w.done());

    auto end = w.observe(Look({MainPage(updater::texts::SuccessMessage(Language::Korean))}), 60);
    ASSERT_EQ(Kinds(end), (std::vector<std::string>{"status", "result"}));
    EXPECT_EQ(end[1].result, "success");
    EXPECT_TRUE(w.done());
    EXPECT_EQ(w.outcome(), Outcome::Success);
    EXPECT_TRUE(w.observe(Look({}), 70).empty()) << "nothing after the result";

    const auto json = end[1].toJson(10);
    EXPECT_DOUBLE_EQ(json.at("time").get<double>(), 0.05);
    EXPECT_EQ(json.at("result"), "success");
}

TEST(UpdateWatcher, FailureTextsAndAnUpdaterThatDiesAreFailures) {
    {
        UpdateWatcher w;
        w.observe(Look({MainPage(updater::texts::FailureMessage(Language::English))}), 1);
        EXPECT_EQ(w.outcome(), Outcome::Failure);
    }
    {
        UpdateWatcher w;
        w.observe(Look({McuPage("Writing", 10)}), 1);
        EXPECT_FALSE(w.done()) << "between two pages the updater still runs";
        w.observe(Look({}, true), 2);
        EXPECT_FALSE(w.done());
        auto events = w.observe(Look({}, false), 3);
        ASSERT_TRUE(w.done());
        EXPECT_EQ(w.outcome(), Outcome::Failure);
        EXPECT_NE(events.back().text.find("ended without"), std::string::npos);
    }
    {
        UpdateWatcher w;
        w.observe(Look({MainPage(updater::texts::NoSoftwareMessage(Language::Russian))}), 1);
        EXPECT_EQ(w.outcome(), Outcome::NothingToDo);
    }
}

TEST(UpdateWatcher, WaitsForTheInstallerBesideTheUpdaterAndCountsItsResult) {
    const std::string success = updater::texts::SuccessMessage(Language::Korean);
    UpdateWatcher w;
    w.observe(Look({MainPage(success), Installer("복사 중")}, true, true), 1);
    EXPECT_FALSE(w.done()) << "the installer has not finished";
    auto events = w.observe(Look({MainPage(success), Installer("업그레이드가 실패했습니다. 업그레이드 파일을 확인하세요.(Error : 2 files)")}, true, true), 2);
    ASSERT_TRUE(w.done());
    EXPECT_EQ(w.outcome(), Outcome::Failure) << "a failed panel installation fails the update";
    EXPECT_EQ(events.front().program, "ZEK_Update");

    UpdateWatcher alone;
    alone.observe(Look({Installer(installer::kSuccessText)}, false, true), 1);
    EXPECT_EQ(alone.outcome(), Outcome::Success);
}

TEST(UpdateWatcher, FollowsThePanelsState) {
    EXPECT_EQ(UpdateWatcher::panelState({0, 0, 0, 0}), "hidden");
    EXPECT_EQ(UpdateWatcher::panelState({0, 0, 250, 480}), "vertical");
    EXPECT_EQ(UpdateWatcher::panelState({0, 330, 800, 480}), "horizontal");
    EXPECT_EQ(UpdateWatcher::panelState({0, 0, 40, 150}), "collapsed");
    UpdateWatcher w;
    DesktopLook look = Look({MainPage("")});
    look.panel = ce::Rect{0, 0, 250, 480};
    auto events = w.observe(look, 1);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].program, "Kelo_ZEK");
    EXPECT_EQ(events[1].page, "vertical");
    look.panel.reset();
    events = w.observe(look, 2);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].page, "ended");
}

}  // namespace
}  // namespace hu::demo
