// The main page's update sequence with step pages that stand in for the real ones: which
// pages run in which attempt, the result text, the restart, and the emergency start.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/core/debug.h"
#include "platform/core/time.h"
#include "platform/ui/controls.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "sim/board/fault_plan.h"
#include "sim/board/gpio_log.h"
#include "sim/headunit/headunit.h"
#include "updater/main_page/main_page_texts.h"
#include "updater/main_page/update_main_dlg.h"

namespace updater {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Line = std::tuple<int, uint32_t, int>;

// A process keeps the desktop of the first head unit it uses: one serves every test here, and
// each test starts from an empty card and flash and a registry of its own.
sim::TempHeadUnit& Unit() {
    static sim::TempHeadUnit unit;
    return unit;
}

sim::HeadUnitOptions Installed() {
    sim::HeadUnitOptions options;
    options.codePage = 1252;
    options.osVersion = options.micomVersion = options.bluetoothVersion = "1.0";
    return options;
}

sim::HeadUnitOptions Emergency() {
    sim::HeadUnitOptions options = Installed();
    options.micomVersion.reset();
    options.bluetoothVersion.reset();
    return options;
}

void Write(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

// The head unit with this registry and a package of these files under UpdateXan (version
// files hold "2.0", images a few bytes: the step pages here never read them).
void Prepare(const sim::HeadUnitOptions& registry, const std::vector<std::string>& files) {
    auto& unit = Unit();
    for (const fs::path& folder : {unit.sdcard(), unit.nand()}) {
        for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
    }
    ASSERT_TRUE(sim::replaceFile(unit.root() / "registry.reg", sim::registryText(registry)));
    for (const auto& name : files) {
        const bool version = name.size() > 7 && name.compare(name.size() - 7, 7, "Ver.bin") == 0;
        Write(unit.sdcard() / "UpdateXan" / name, version ? "2.0" : "image");
    }
}

const std::vector<std::string> kOsImages = {"tcBoot.rom", "nk.rom"};

std::vector<std::string> Files(std::initializer_list<std::vector<std::string>> groups) {
    std::vector<std::string> all;
    for (const auto& g : groups) all.insert(all.end(), g.begin(), g.end());
    return all;
}

// Step pages that note their runs in order and answer from a script (its last answer repeats).
struct FakeSteps {
    std::vector<std::string> runs;
    std::vector<int> os{ce::IDOK};
    std::vector<int> micom{ce::IDOK};
    std::vector<int> bluetooth{ce::IDOK};
    std::function<void()> duringMicom;

    int Answer(const char* name, const std::vector<int>& script) {
        const size_t index = static_cast<size_t>(std::count(runs.begin(), runs.end(), name));
        runs.push_back(name);
        return script[std::min(index, script.size() - 1)];
    }
    StepPages Pages() {
        StepPages pages;
        pages.os = [this](ce::HWND) { return Answer("os", os); };
        pages.micom = [this](ce::HWND) {
            if (duringMicom) duringMicom();
            return Answer("micom", micom);
        };
        pages.bluetooth = [this](ce::HWND) { return Answer("bluetooth", bluetooth); };
        return pages;
    }
};

// The main page with a look at it right after its start-up.
class MainPage : public UpdateMainDlg {
public:
    using UpdateMainDlg::UpdateMainDlg;
    std::function<void(MainPage&)> afterInit;

    bool onInitDialog() override {
        const bool result = UpdateMainDlg::onInitDialog();
        if (afterInit) afterInit(*this);
        return result;
    }
    bool Visible(int id) const { return ce::isWindowVisible(itemHandle(id)); }
    void Press(int id) const { ce::postMessage(itemHandle(id), ce::BM_CLICK, 0, 0); }
    std::string Text(int id) const { return ce::getWindowText(itemHandle(id)); }
};

struct Outcome {
    int result = 0;
    std::string message;  // the main page's text when RESTART was offered
    std::vector<Line> restart;  // the board's writes from the end of the sequence on
};

// The board's writes, without the emergency blink's (port 5, port 2 line 0x4000), which go on
// beside everything else.
std::vector<Line> BoardLines() {
    std::vector<Line> lines;
    for (const auto& e : sim::GpioLog::read(Unit().root())) {
        if (e.port != 5 && e.mask != 0x4000) lines.emplace_back(e.port, e.mask, e.level);
    }
    return lines;
}

const std::vector<Line> kRestartSequence = {
    {2, 0x40000, 1}, {2, 0x100000, 1}, {2, 0x80000, 1}, {2, 0x10000, 0}, {2, 0x2000000, 0},
    {2, 0x2000000, 1}, {2, 0x4000000, 0}, {2, 0x400, 0}, {2, 0x1000, 0}, {2, 0x80, 0},
    {2, 0x40, 0}, {2, 0x40, 1}, {2, 0x8, 0},
};

// Runs the page: START after start-up when pressStart, then RESTART once the page offers it
// (unattended runs restart by themselves: pressRestart false).
Outcome RunPage(MainPage& page, bool pressStart, bool pressRestart = true) {
    auto before = page.afterInit;
    page.afterInit = [&, before](MainPage& p) {
        if (before) before(p);
        if (pressStart) p.Press(UpdateMainDlg::IDC_START);
    };
    Outcome outcome;
    const std::vector<Line> boardBefore = BoardLines();
    std::atomic<bool> ended{false};
    std::thread restarter([&] {
        while (pressRestart && !ended) {
            if (ce::HWND dialog = page.hwnd()) {
                ce::HWND start = ce::getDlgItem(dialog, UpdateMainDlg::IDC_START);
                if (ce::getWindowText(start) == "RESTART" && ce::isWindowEnabled(start)) {
                    outcome.message = ce::getWindowText(ce::getDlgItem(dialog, UpdateMainDlg::IDC_MESSAGE));
                    ce::postMessage(start, ce::BM_CLICK, 0, 0);
                    return;
                }
            }
            std::this_thread::sleep_for(20ms);
        }
    });
    outcome.result = page.runModal();
    ended = true;
    restarter.join();
    const std::vector<Line> after = BoardLines();
    outcome.restart.assign(after.begin() + static_cast<long>(std::min(boardBefore.size(), after.size())), after.end());
    return outcome;
}

bool EndsWithRestart(const std::vector<Line>& lines) {
    return lines.size() >= kRestartSequence.size() &&
           std::equal(kRestartSequence.begin(), kRestartSequence.end(), lines.end() - static_cast<long>(kRestartSequence.size()));
}

int Count(const ce::DebugCapture& capture, const std::string& needle) {
    const std::string text = capture.text();
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

TEST(UpdateSequence, OsStepDoneInTheFirstAttemptIsNotRunAgainWhileTheMcuKeepsFailing) {
    Prepare(Installed(), Files({{"OSVer.bin", "MicomVer.bin", "MICOM.BIN"}, kOsImages}));
    FakeSteps steps;
    steps.micom = {ce::IDCANCEL};
    ce::DebugCapture capture;
    MainPage page(steps.Pages());
    const Outcome outcome = RunPage(page, true);
    EXPECT_EQ(outcome.result, ce::IDOK);
    EXPECT_EQ(steps.runs, (std::vector<std::string>{"os", "micom", "micom", "micom"}));
    EXPECT_EQ(outcome.message, texts::FailureMessage(Language::English));
    EXPECT_EQ(Count(capture, "[FAIL] MICOM"), 3);
    EXPECT_EQ(Count(capture, "[FAIL] KERNEL"), 0);
    EXPECT_TRUE(EndsWithRestart(outcome.restart));
}

TEST(UpdateSequence, AStepThatFailsOnceSucceedsInTheSecondAttempt) {
    Prepare(Installed(), Files({{"OSVer.bin", "MicomVer.bin", "BTVer.bin", "MICOM.BIN", "BT.bin"}, kOsImages}));
    FakeSteps steps;
    steps.micom = {ce::IDCANCEL, ce::IDOK};
    MainPage page(steps.Pages());
    const Outcome outcome = RunPage(page, true);
    EXPECT_EQ(outcome.result, ce::IDOK);
    // The Bluetooth step runs in the first attempt although the MCU failed, and not again.
    EXPECT_EQ(steps.runs, (std::vector<std::string>{"os", "micom", "bluetooth", "micom"}));
    EXPECT_EQ(outcome.message, texts::SuccessMessage(Language::English));
    EXPECT_TRUE(EndsWithRestart(outcome.restart));
}

TEST(UpdateSequence, BluetoothFailingThreeTimesFailsTheUpdate) {
    Prepare(Installed(), Files({{"BTVer.bin", "BT.bin"}, kOsImages}));
    FakeSteps steps;
    steps.bluetooth = {ce::IDCANCEL};
    ce::DebugCapture capture;
    MainPage page(steps.Pages());
    const Outcome outcome = RunPage(page, true);
    EXPECT_EQ(steps.runs, (std::vector<std::string>{"bluetooth", "bluetooth", "bluetooth"}));
    EXPECT_EQ(outcome.message, texts::FailureMessage(Language::English));
    EXPECT_EQ(Count(capture, "[FAIL] Bluetooth"), 3);
    EXPECT_TRUE(EndsWithRestart(outcome.restart));
}

TEST(UpdateSequence, EmergencyRunWithAFailingStepStillRestartsWithoutATap) {
    Prepare(Emergency(), Files({{"MicomVer.bin", "BTVer.bin", "MICOM.BIN", "BT.bin"}}));
    FakeSteps steps;
    steps.micom = {ce::IDCANCEL};
    ce::DebugCapture capture;
    MainPage page(steps.Pages());
    const Outcome outcome = RunPage(page, false, false);
    EXPECT_EQ(outcome.result, ce::IDOK);
    EXPECT_EQ(steps.runs, (std::vector<std::string>{"micom", "micom", "micom"}));  // never Bluetooth
    EXPECT_EQ(Count(capture, "######## Start Emergency Update!! ######## \n"), 1);
    EXPECT_TRUE(EndsWithRestart(outcome.restart));
}

// START pressed before the emergency timer: the press is handled first (it is queued at
// start-up, the timer's tick comes half a second later), and the tick that falls inside the
// run while a page handles messages starts nothing. (START is enabled when a version on the
// card differs from an installed one: here the OS.)
TEST(UpdateSequence, StartBeforeTheEmergencyTimerRunsTheUpdateOnce) {
    Prepare(Emergency(), Files({{"OSVer.bin", "MicomVer.bin", "MICOM.BIN"}, kOsImages}));
    FakeSteps steps;
    steps.duringMicom = [] {
        const auto until = std::chrono::steady_clock::now() + 800ms;
        ce::Msg msg;
        while (std::chrono::steady_clock::now() < until) {
            if (ce::waitMessage(20) && ce::peekMessage(&msg)) {
                ce::translateMessage(&msg);
                ce::dispatchMessage(&msg);
            }
        }
    };
    ce::DebugCapture capture;
    MainPage page(steps.Pages());
    bool startEnabled = false;
    page.afterInit = [&](MainPage& p) { startEnabled = ce::isWindowEnabled(p.itemHandle(UpdateMainDlg::IDC_START)); };
    const Outcome outcome = RunPage(page, true, false);
    EXPECT_TRUE(startEnabled) << "the case needs a START that can be pressed";
    EXPECT_EQ(outcome.result, ce::IDOK);
    EXPECT_EQ(steps.runs, (std::vector<std::string>{"os", "micom"}));
    EXPECT_EQ(Count(capture, "######## Emergency Update!! - Detected! ######## \n"), 1);
    EXPECT_EQ(Count(capture, "######## Start Emergency Update!! ######## \n"), 0);
    EXPECT_TRUE(EndsWithRestart(outcome.restart));
}

// The emergency run starts by itself: no LOGO command may run beside it, even one pressed in
// the half second before it starts.
TEST(UpdateSequence, EmergencyModeOffersNoLogoCommand) {
    Prepare(Emergency(), Files({{"MicomVer.bin", "MICOM.BIN", "OPTION/PIM.ORV"}}));
    FakeSteps steps;
    MainPage page(steps.Pages());
    bool logoShown = true;
    page.afterInit = [&](MainPage& p) {
        logoShown = p.Visible(UpdateMainDlg::IDC_LOGO);
        p.Press(UpdateMainDlg::IDC_LOGO);
    };
    const Outcome outcome = RunPage(page, false, false);
    EXPECT_EQ(outcome.result, ce::IDOK);
    EXPECT_FALSE(logoShown);
    EXPECT_EQ(steps.runs, (std::vector<std::string>{"micom"}));
    EXPECT_FALSE(fs::exists(Unit().nand() / "PimConfig.ORV")) << "the LOGO command ran";
}

// The matched model runs the OS page in every attempt, but never without the OS images.
TEST(UpdateSequence, MatchedModelWithoutOsImagesSkipsTheOsPage) {
    sim::HeadUnitOptions registry = Installed();
    registry.modelName = kMatchedModel;
    Prepare(registry, Files({{"MicomVer.bin", "MICOM.BIN"}}));
    FakeSteps steps;
    MainPage page(steps.Pages());
    const Outcome outcome = RunPage(page, true);
    EXPECT_EQ(steps.runs, (std::vector<std::string>{"micom"}));
    EXPECT_EQ(outcome.message, texts::SuccessMessage(Language::English));

    Prepare(registry, Files({{"MicomVer.bin", "MICOM.BIN"}, kOsImages}));
    FakeSteps withImages;
    MainPage again(withImages.Pages());
    RunPage(again, true);
    EXPECT_EQ(withImages.runs, (std::vector<std::string>{"os", "micom"}));
}

}  // namespace
}  // namespace updater
