// The main page after start-up: the version decision, texts by code page, button visibility,
// the installer buttons. Each case runs the real UpdateXan and ends it with CANCEL.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <thread>

#include "updater/tests/e2e/updater_run.h"

namespace updater::e2e {
namespace {

using namespace std::chrono_literals;

sim::HeadUnitOptions Unit(uint32_t codePage, const std::string& installed, const std::string& model = "U0") {
    sim::HeadUnitOptions options;
    options.codePage = codePage;
    options.osVersion = options.micomVersion = options.bluetoothVersion = installed;
    options.modelName = model;
    return options;
}

// Waits until the page shows its message, checks what the case expects, then CANCEL ends it.
void ExpectStartPage(UpdaterRun& run, const std::string& message, const std::string& start, bool startEnabled,
                     const std::string& cancel, const char* maskLine) {
    run.StartUpdater();
    ASSERT_TRUE(run.WaitText(1006, message, 60)) << MessageText(run);
    const auto startButton = run.Control(1000);
    EXPECT_EQ(startButton.value("text", ""), start);
    EXPECT_EQ(startButton.value("enabled", !startEnabled), startEnabled);
    EXPECT_EQ(run.Control(1001).value("text", ""), cancel);
    EXPECT_EQ(run.CountInLog(maskLine), 1) << run.DebugLog();
    ASSERT_TRUE(run.Click(1001));
    EXPECT_EQ(run.WaitUpdaterEnd(60s), 0);
}

TEST(StartPage, KoreanPackageOlderByCodeUnitsUpdatesAllThree) {
    UpdaterRun run(Unit(949, "1.0.10"));
    run.Package({"--os-version", "1.0.2", "--mcu-version", "1.0.2", "--bt-version", "1.0.2", "--without", "panel"});
    ExpectStartPage(run, "새로운 소프트웨어가 있습니다.\r\n\r\n시작 버튼을 누르세요.", "시작", true, "취소",
                    "### UPDATE_XAN:0x0007 \n");
}

TEST(StartPage, RussianOlderBluetoothIsNotInstalled) {
    UpdaterRun run(Unit(1251, "2.1"));
    run.Package({"--os-version", "2.0", "--mcu-version", "2.0", "--bt-version", "2.0", "--without", "panel"});
    ExpectStartPage(run, "Найдена новая версия.\r\n\r\nНажмите кнопку [START] для запуска обновления.", "START", true,
                    "ОТМЕНА", "### UPDATE_XAN:0x0003 \n");
}

TEST(StartPage, EnglishVersionFileWithLineEndNeverEqualsTheRegistry) {
    UpdaterRun run(Unit(1252, "1.0.0"));
    run.Package({"--os-version", "1.0.0", "--mcu-version", "1.0.0", "--bt-version", "1.0.0", "--version-line-end",
                 "--without", "panel"});
    ExpectStartPage(run, "New software has been detected.\r\n\r\nPress the [START] button to begin.", "START", true,
                    "CANCEL", "### UPDATE_XAN:0x0007 \n");
}

TEST(StartPage, NothingNewDisablesStartAndOffersLogoAndOption) {
    UpdaterRun run(Unit(1252, "1.0.0"));
    run.Package({"--os-version", "1.0.0", "--mcu-version", "1.0.0", "--bt-version", "1.0.0", "--without", "panel,vrdb"});
    run.StartUpdater();
    ASSERT_TRUE(run.WaitText(1006, "\r\nNo new software has been detected.", 60)) << MessageText(run);
    EXPECT_FALSE(run.Control(1000).value("enabled", true));
    const auto logo = run.Control(1010);
    EXPECT_EQ(logo.value("text", ""), "LOGO + OPTION");
    EXPECT_TRUE(logo.value("visible", false));
    EXPECT_FALSE(run.Click(1000));  // a disabled START cannot be pressed
    ASSERT_TRUE(run.Click(1001));
    EXPECT_EQ(run.WaitUpdaterEnd(60s), 0);
}

TEST(StartPage, InstallerButtonsFollowThePackageFoldersAndTheModel) {
    {
        UpdaterRun run(Unit(949, "1.0.0"));
        run.Package({"--without", "panel,vrdb"});
        run.StartUpdater();
        ASSERT_TRUE(run.WaitText(1000, "시작", 60));
        EXPECT_FALSE(run.Control(1012).value("visible", true));
        EXPECT_FALSE(run.Control(1008).value("visible", true));
        ASSERT_TRUE(run.Click(1001));
        EXPECT_EQ(run.WaitUpdaterEnd(60s), 0);
    }
    {
        UpdaterRun run(Unit(949, "1.0.0", "U1"));
        run.Package({"--without", "panel"});
        std::filesystem::create_directories(run.unit().sdcard() / "UpdateXan" / "ZEK_Update");
        run.StartUpdater();
        ASSERT_TRUE(run.WaitText(1000, "시작", 60));
        EXPECT_FALSE(run.Control(1012).value("visible", true));
        EXPECT_FALSE(run.Control(1008).value("visible", true));
        ASSERT_TRUE(run.Click(1001));
        EXPECT_EQ(run.WaitUpdaterEnd(60s), 0);
    }
}

TEST(StartPage, VrdbButtonStartsTheInstallerOnceOrComplains) {
    UpdaterRun run(Unit(1252, "1.0.0"));
    run.Package({"--without", "panel"});
    std::filesystem::create_directories(run.unit().sdcard() / "UpdateXan" / "ZEK_Update");  // panel files missing
    run.StartUpdater();
    ASSERT_TRUE(run.WaitText(1000, "START", 60));
    ASSERT_TRUE(run.Control(1012).value("visible", false));
    ASSERT_TRUE(run.Click(1012));
    for (int i = 0; i < 600 && run.Control(1012).value("visible", true); ++i) std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(run.Control(1012).value("visible", true));
    std::string started;
    for (int i = 0; i < 600 && started.empty(); ++i) {
        std::ifstream in(run.root() / "log" / "VRDB_Update.log");
        std::getline(in, started);
        if (started.empty()) std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(started, "VRDB_Update.exe started");

    // The panel folder is there but its files are not: a message box says so.
    ASSERT_TRUE(run.Control(1008).value("visible", false));
    ASSERT_TRUE(run.Click(1008));
    nlohmann::json box;
    for (int i = 0; i < 600; ++i) {  // a busy machine starts the box late
        const auto windows = nlohmann::json::parse(run.Hu({"ctl", "list", "--json"}).output, nullptr, false);
        for (const auto& w : windows) {
            for (const auto& c : w.value("controls", nlohmann::json::array())) {
                if (c.value("text", "") == "Please Check! ZEK Files.") box = w;
            }
        }
        if (!box.is_null()) break;
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_FALSE(box.is_null());
    const auto ok = run.Hu({"ctl", "click", "--hwnd", std::to_string(box.value("hwnd", 0)), "1"});
    EXPECT_EQ(ok.exitCode, 0) << ok.output;
    ASSERT_TRUE(run.Click(1001));
    EXPECT_EQ(run.WaitUpdaterEnd(60s), 0);
}

}  // namespace
}  // namespace updater::e2e
