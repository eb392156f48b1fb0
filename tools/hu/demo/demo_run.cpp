#include "tools/hu/demo/demo_run.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <thread>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "platform/core/files.h"
#include "platform/core/profile.h"
#include "platform/ui/desktop.h"
#include "platform/ui/window.h"
#include "sim/board/fault_plan.h"
#include "sim/board/gpio_log.h"
#include "sim/headunit/headunit.h"
#include "sim/mcu/mcu_simulator.h"
#include "sim/shell/shell_apps.h"
#include "sim/shell/shell_log.h"
#include "tools/hu/demo/checks.h"
#include "tools/hu/demo/child_processes.h"
#include "tools/hu/demo/desktop_actions.h"
#include "tools/hu/demo/head_unit_processes.h"
#include "tools/hu/demo/interruption.h"
#include "tools/hu/demo/page_follower.h"
#include "tools/hu/demo/panel_stage.h"
#include "tools/hu/demo/summary.h"
#include "tools/hu/demo/terminal_view.h"
#include "tools/hu/demo/time_accounting.h"

namespace hu::demo {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// The main page's buttons and the installer's.
constexpr int kStartButton = 1000;
constexpr int kZekButton = 1008;
constexpr int kInstallerExit = 1002;
constexpr int kMessageBoxOk = 1;

constexpr uint32_t kCodePage = 949;  // the head unit's default: Korean texts
constexpr const char* kRestartCaption = "재시작";

constexpr auto kSimulatorsReady = 15s;
constexpr auto kMainPageShows = 30s;
constexpr auto kUpdateEnds = 15min;
constexpr auto kInstallerEnds = 2min;
constexpr auto kProgramEnds = 20s;

// A failure that stops the run before its end; the checks still run.
class StepFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class DemoRun {
public:
    explicit DemoRun(const DemoOptions& options)
        : o_(options),
          out_(options.json ? stderr : stdout),
          events_(stdout, options.startMs),
          terminal_(out_, options.startMs),
          follower_(options.root, options.screenshots, terminal_) {
        if (o_.json) {
            terminal_.mirrorTo(&events_);
            follower_.setEvents(&events_);
        }
    }

    int run();

private:
    void runSteps();
    int finish(const std::string& failure);
    int stopOnInterruption(const Interrupted& interrupted);
    template <typename Work>
    void step(const std::string& name, Work work) {
        const uint64_t begin = sim::monotonicMs();
        work();
        steps_.push_back({name, sim::monotonicMs() - begin});
    }

    void prepareHeadUnit();
    void startSimulators();
    void startUpdater();
    void pressZekUpdate();
    void runUpdate();
    void finishInstaller();
    void runPanel();
    void restart();
    void stopEverything();
    std::vector<CheckResult> checks();
    std::string cleanUp();
    void addPageSteps();

    ce::HWND page(PageKind kind) const;
    void press(PageKind kind, int id, const std::string& name);
    // Waits for `condition`, answering any message box the updater shows meanwhile.
    bool waitFor(const std::function<bool(const DesktopRecord&)>& condition, std::chrono::milliseconds timeout);
    [[noreturn]] void updaterEnded(const std::string& when);

    void writeResult(const std::vector<CheckResult>& checks, const std::string& result, const std::string& text);

    const DemoOptions& o_;
    FILE* out_;  // what people read: stdout, or stderr when stdout carries JSON
    JsonEvents events_;
    TerminalView terminal_;
    PageFollower follower_;
    ChildProcesses children_;
    std::unique_ptr<ce::File> lockedImage_;  // the injected fault: BT.bin held open without sharing
    std::vector<StepTime> steps_;
    std::optional<uint64_t> restartPressedAt_;
    std::optional<PanelStageResult> panel_;
    bool zovedizuzOpen_ = false;
    bool stopped_ = false;
};

std::optional<Fault> parseFault(std::string_view name) {
    if (name == "kernel-checksum") return Fault::KernelChecksum;
    if (name == "mcu-drops-acks") return Fault::McuDropsAcks;
    if (name == "bt-image-locked") return Fault::BluetoothImageLocked;
    return std::nullopt;
}

int DemoRun::run() {
    std::string failure;
    try {
        runSteps();
    } catch (const Interrupted& interrupted) {
        return stopOnInterruption(interrupted);
    } catch (const std::exception& e) {
        // A Ctrl-C also reaches the children in the terminal's process group: a step may fail
        // because one of them ended before the demo's own wait saw the interruption.
        if (const int signal = interruptionSignal()) return stopOnInterruption(Interrupted(signal));
        failure = e.what();
        terminal_.endStatus();
        terminal_.line("hu demo: " + failure);
    }
    try {
        return finish(failure);
    } catch (const Interrupted& interrupted) {
        return stopOnInterruption(interrupted);
    }
}

void DemoRun::runSteps() {
    step("prepare the head unit and the package", [&] { prepareHeadUnit(); });
    if (o_.view) {
        children_.start("view", {o_.huProgram.string(), "view", o_.root.string()}, o_.root / "log" / "view.out");
        terminal_.line("the screen is shown live in a window (hu view)");
    }
    step("start the simulators", [&] { startSimulators(); });
    follower_.start();
    step("start UpdateXan (to its main page)", [&] { startUpdater(); });
    pressZekUpdate();
    step(o_.emergency ? "update, unattended (to the restart)" : "update (START to the result)", [&] { runUpdate(); });
    step("panel installer (to its Exit)", [&] { finishInstaller(); });
    step("guidance panel (the route to its destroy code)", [&] { runPanel(); });
    if (!o_.emergency) step("restart (RESTART to the program's end)", [&] { restart(); });
}

int DemoRun::stopOnInterruption(const Interrupted& interrupted) {
    terminal_.endStatus();
    terminal_.line(std::string("hu demo: ") + interrupted.what() + "; stopping");
    stopEverything();
    const std::string cleanup = cleanUp();
    std::fprintf(out_, "hu demo: %s. %s\n", interrupted.what(), cleanup.c_str());
    writeResult({}, "interrupted", interrupted.what());
    return 128 + interrupted.signal();
}

// Stops what runs, checks, cleans up and prints the summary; the exit code.
int DemoRun::finish(const std::string& failure) {
    step("stop the simulators", [&] { stopEverything(); });
    Summary summary;
    step("checks", [&] { summary.checks = checks(); });
    addPageSteps();
    summary.cleanup = cleanUp();
    summary.steps = steps_;
    summary.screenshots = o_.screenshots;
    const DesktopRecord record = follower_.record();
    for (const auto& visit : record.visits) summary.screenshotCount += static_cast<int>(visit.screenshots.size());
    const uint64_t total = sim::monotonicMs() - o_.startMs;
    summary.time = accountTime(record, total, o_.emergency, o_.emergency || restartPressedAt_.has_value());
    if (panel_) {
        for (const auto& wait : panel_->fixedWaits) summary.time.fixedWaits.push_back(wait);
        summary.screenshotCount += panel_->screenshots;
    }
    terminal_.endStatus();
    printSummary(out_, summary);

    const bool passed = failure.empty() && allPassed(summary.checks);
    if (passed) {
        std::fprintf(out_, "hu demo: every check passed\n");
        writeResult(summary.checks, "success", "every check passed");
        return 0;
    }
    std::string failed;
    for (const auto& c : summary.checks)
        if (!c.passed) failed += (failed.empty() ? "" : "; ") + c.name;
    if (!failure.empty()) std::fprintf(out_, "hu demo: FAILED: %s\n", failure.c_str());
    if (!failed.empty()) std::fprintf(out_, "hu demo: FAILED checks: %s\n", failed.c_str());
    writeResult(summary.checks, "failure", failure.empty() ? "failed checks: " + failed : failure);
    return 1;
}

void DemoRun::writeResult(const std::vector<CheckResult>& checks, const std::string& result, const std::string& text) {
    if (!o_.json) return;
    for (const auto& c : checks)
        events_.write({{"event", "check"}, {"name", c.name}, {"passed", c.passed}, {"text", c.detail}});
    events_.write({{"event", "result"}, {"program", "hu demo"}, {"result", result}, {"text", text}});
}

void DemoRun::prepareHeadUnit() {
    sim::HeadUnitOptions unit;
    unit.codePage = kCodePage;
    if (o_.emergency) {
        // The installed MCU and Bluetooth versions cannot be read: the updater's emergency mode.
        unit.micomVersion.reset();
        unit.bluetoothVersion.reset();
    }
    nlohmann::json mcu = nlohmann::json::object();
    uint32_t lastAddress = sim::mcu::McuOptions{}.lastAddress;
    if (o_.small) {
        lastAddress = 0x1FFF;
        mcu = {{"lastAddress", lastAddress}, {"blockCount", 8}, {"eraseMs", 50}};
    }
    if (o_.fault == Fault::McuDropsAcks) {
        nlohmann::json every = nlohmann::json::array();
        for (uint32_t block = 0; block < (lastAddress + 1) / 256; ++block) every.push_back(block);
        mcu["dropAck"] = every;
        mcu["dropVerifyAck"] = every;
    }
    unit.sim["mcu"] = mcu;
    sim::createHeadUnit(o_.root, unit);
    ::setenv("HEADUNIT_ROOT", o_.root.c_str(), 1);
    ce::Profile::setCurrent(o_.root);
    terminal_.line(fmt::format("head unit: {}{}", o_.root.string(), o_.temporary && !o_.keep ? " (temporary)" : ""));

    if (o_.emergency) std::ofstream(o_.root / "nand" / "old_settings.dat") << "settings of the old software\n";
    const std::string package = o_.buildPackage(o_.root, PackageRequest{o_.fault == Fault::KernelChecksum, o_.small});
    terminal_.line("package: " + package);

    if (o_.fault == Fault::BluetoothImageLocked) {
        auto held = ce::File::open("\\SDMMC Card\\UpdateXan\\BT.bin", ce::GENERIC_READ, 0, ce::OPEN_EXISTING);
        if (!held.ok()) throw std::runtime_error(fmt::format("cannot hold BT.bin open (error {})", held.error()));
        lockedImage_ = std::move(*held);
        terminal_.line("fault: BT.bin is held open without sharing, so the updater cannot open it");
    }
    if (o_.fault == Fault::KernelChecksum) terminal_.line("fault: the kernel image carries a wrong checksum");
    if (o_.fault == Fault::McuDropsAcks) terminal_.line("fault: the MCU drops the acknowledgement of every block");
}

void DemoRun::startSimulators() {
    const fs::path log = o_.root / "log";
    const std::string hu = o_.huProgram.string();
    const std::string root = o_.root.string();
    children_.start("shell", {hu, "sim", root, "shell"}, log / "sim-shell.out");
    children_.start("mcu", {hu, "sim", root, "mcu"}, log / "sim-mcu.out");
    children_.start("bluetooth", {hu, "sim", root, "bluetooth"}, log / "sim-bluetooth.out");

    const auto deadline = std::chrono::steady_clock::now() + kSimulatorsReady;
    for (;;) {
        throwIfInterrupted();
        for (const char* name : {"shell", "mcu", "bluetooth"}) {
            if (auto code = children_.exitCode(name))
                throw StepFailure(fmt::format("the {} simulator ended at its start (exit {}): {}", name, *code,
                                              lastLineOf(children_.outputOf(name))));
        }
        int windows = 0;
        for (const auto& w : ce::enumTopLevelWindows())
            for (const auto& title : sim::kShellWindowTitles) windows += w.title == title ? 1 : 0;
        std::error_code ec;
        const bool lines = fs::exists(o_.root / "dev" / "COM5", ec) && fs::exists(o_.root / "dev" / "COM2", ec);
        if (lines && windows == static_cast<int>(sim::kShellWindowTitles.size())) break;
        if (std::chrono::steady_clock::now() >= deadline)
            throw StepFailure("the simulators were not ready after 15 s (shell windows or dev/COM2, dev/COM5 missing)");
        std::this_thread::sleep_for(20ms);
    }
    terminal_.line("simulators: board and NAND flash (driver plugin), MCU on dev/COM5, Bluetooth module on dev/COM2, shell windows");
}

void DemoRun::startUpdater() {
    children_.start("UpdateXan", {o_.updaterProgram.string()}, o_.root / "log" / "UpdateXan.out");
    const bool shown = waitFor(
        [&](const DesktopRecord& r) { return r.openVisit(PageKind::Main) || children_.exitCode("UpdateXan"); }, kMainPageShows);
    if (!follower_.record().openVisit(PageKind::Main)) {
        if (children_.exitCode("UpdateXan")) updaterEnded("before showing its main page");
        if (!shown) throw StepFailure("UpdateXan showed no main page within 30 s");
    }
}

void DemoRun::pressZekUpdate() {
    // The panel installer runs beside the update; a refused press fails the panel's check,
    // not the update.
    try {
        press(PageKind::Main, kZekButton, "ZEK Update");
    } catch (const StepFailure& refused) {
        terminal_.line(refused.what());
    }
}

void DemoRun::runUpdate() {
    if (!o_.emergency) {
        const DesktopRecord record = follower_.record();
        const PageVisit* main = record.openVisit(PageKind::Main);
        if (main && main->controls.count(kStartButton) && !main->controls.at(kStartButton).enabled)
            throw StepFailure("START is disabled: the updater found no new software in the package");
        press(PageKind::Main, kStartButton, "START");
    } else {
        terminal_.line("emergency mode: the updater starts by itself");
    }
    const bool ended = waitFor(
        [&](const DesktopRecord& r) {
            if (children_.exitCode("UpdateXan")) return true;
            const PageVisit* main = r.openVisit(PageKind::Main);
            if (!main || o_.emergency) return false;
            for (const auto& v : r.visits)
                if (!v.closedAt && v.kind != PageKind::Main && v.kind != PageKind::Installer) return false;
            auto button = main->controls.find(kStartButton);
            return button != main->controls.end() && button->second.enabled && button->second.text == kRestartCaption;
        },
        kUpdateEnds);
    if (!ended) throw StepFailure("the update did not end within 15 minutes");
    terminal_.endStatus();
    if (!o_.emergency && children_.exitCode("UpdateXan")) updaterEnded("during the update");
    if (o_.emergency && *children_.exitCode("UpdateXan") != 0)
        terminal_.line(fmt::format("UpdateXan ended with exit code {}", *children_.exitCode("UpdateXan")));
}

void DemoRun::finishInstaller() {
    if (!follower_.record().lastVisit(PageKind::Installer)) {
        terminal_.line("the panel installer did not start");
        return;
    }
    const bool done = waitFor(
        [](const DesktopRecord& r) {
            const PageVisit* installer = r.lastVisit(PageKind::Installer);
            if (installer->closedAt) return true;
            auto exit = installer->controls.find(kInstallerExit);
            return exit != installer->controls.end() && exit->second.visible;
        },
        kInstallerEnds);
    if (!done) throw StepFailure("the panel installer did not finish within 2 minutes");
    if (follower_.record().lastVisit(PageKind::Installer)->closedAt) return;
    press(PageKind::Installer, kInstallerExit, "Exit on the panel installer");
    if (!waitFor([](const DesktopRecord& r) { return r.lastVisit(PageKind::Installer)->closedAt.has_value(); }, kProgramEnds))
        throw StepFailure("the panel installer did not close after Exit");
}

void DemoRun::runPanel() {
    panel_ = runPanelStage({o_.root, o_.huProgram, o_.screenshots, &children_, [this](const std::string& l) { terminal_.line(l); }});
}

void DemoRun::restart() {
    if (children_.exitCode("UpdateXan")) updaterEnded("before RESTART");
    restartPressedAt_ = sim::monotonicMs();
    press(PageKind::Main, kStartButton, "RESTART");
    std::optional<int> code;
    const auto deadline = std::chrono::steady_clock::now() + kProgramEnds;
    while (!code && std::chrono::steady_clock::now() < deadline) {
        throwIfInterrupted();
        code = children_.waitExit("UpdateXan", 50ms);
    }
    if (!code) throw StepFailure("UpdateXan did not end within 20 s of RESTART");
    terminal_.line(fmt::format("UpdateXan ended (exit code {}): the head unit restarts", *code));
}

void DemoRun::stopEverything() {
    if (stopped_) return;
    stopped_ = true;
    zovedizuzOpen_ = ce::findWindow("ZOVEDIZUZ") != 0;
    // A simulator that ended before it was asked to explains many a failed check.
    for (const char* name : {"shell", "mcu", "bluetooth"}) {
        if (auto code = children_.exitCode(name))
            terminal_.line(fmt::format("the {} simulator had ended during the run (exit {}): {}", name, *code,
                                       lastLineOf(children_.outputOf(name))));
    }
    follower_.stop();
    children_.stopAll(3s);
    lockedImage_.reset();
}

std::vector<CheckResult> DemoRun::checks() {
    const DesktopRecord record = follower_.record();
    const fs::path& root = o_.root;
    std::vector<CheckResult> results;
    results.push_back(checkUpdateResult(kCodePage, record));
    results.push_back(checkBootloader(root, record));
    results.push_back(checkLogo(root, record));
    results.push_back(checkKernel(root, record));
    results.push_back(checkMcuFlash(root, sim::mcu::McuSimulator::optionsFor(root).lastAddress, record));
    results.push_back(checkBluetooth(root, !o_.emergency, record));
    if (o_.emergency) {
        // The restart follows the last step at once; every step page shows its result for at
        // least a second before it closes, so the restart comes after that result.
        uint64_t lastResult = 0;
        for (const auto& v : record.visits)
            for (const auto& [id, changes] : v.texts)
                if (v.kind != PageKind::Main && v.kind != PageKind::Installer && !changes.empty())
                    lastResult = std::max(lastResult, changes.back().at);
        results.push_back(checkRestartSequence(sim::GpioLog::read(root), lastResult, "the last step's result, without a press"));
        results.push_back(checkNandRootCleared(root / "nand" / "old_settings.dat"));
    } else if (restartPressedAt_) {
        results.push_back(checkRestartSequence(sim::GpioLog::read(root), *restartPressedAt_, "the RESTART press"));
    } else {
        results.push_back({"board saw the restart sequence", false, "RESTART was not pressed"});
    }
    results.push_back(checkShellMessages(sim::ShellLog::read(root), zovedizuzOpen_));
    results.push_back(checkPanelInstall(root, record));
    if (panel_) results.insert(results.end(), panel_->checks.begin(), panel_->checks.end());
    else results.push_back({"panel stage ran to its end", false, "the demo stopped before the guidance panel"});
    return results;
}

std::string DemoRun::cleanUp() {
    const size_t started = children_.pids().size();
    const auto strays = endHeadUnitProcesses(o_.root, 2s, std::vector<pid_t>(o_.keepAlive.begin(), o_.keepAlive.end()));
    std::string line = fmt::format("Clean-up: the {} processes the demo started are stopped", started);
    if (!strays.empty()) line += fmt::format(", and {} more of the head unit were ended", strays.size());
    if (o_.temporary && !o_.keep) {
        std::error_code ec;
        fs::remove_all(o_.root, ec);
        line += ec ? fmt::format("; {} could not be removed: {}", o_.root.string(), ec.message())
                   : fmt::format("; {} removed", o_.root.string());
    } else {
        line += fmt::format("; the head unit stays in {}", o_.root.string());
    }
    return line;
}

void DemoRun::addPageSteps() {
    const DesktopRecord record = follower_.record();
    std::map<PageKind, int> seen;
    for (const auto& v : record.visits) {
        if (v.kind != PageKind::Os && v.kind != PageKind::Mcu && v.kind != PageKind::Bluetooth) continue;
        const uint64_t end = v.closedAt.value_or(v.shownAt);
        steps_.push_back({fmt::format("  {} page, attempt {}", pageName(v.kind), ++seen[v.kind]), end - v.shownAt});
    }
}

ce::HWND DemoRun::page(PageKind kind) const {
    const DesktopRecord record = follower_.record();
    const PageVisit* visit = record.openVisit(kind);
    return visit ? visit->hwnd : 0;
}

void DemoRun::press(PageKind kind, int id, const std::string& name) {
    const ce::HWND target = page(kind);
    const std::string refused = target ? pressButton(target, id) : std::string("the ") + pageName(kind) + " is not showing";
    if (!refused.empty()) throw StepFailure("cannot press " + name + ": " + refused);
    terminal_.line("pressed " + name);
}

bool DemoRun::waitFor(const std::function<bool(const DesktopRecord&)>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const bool met = follower_.waitUntil(
            [&](const DesktopRecord& r) { return condition(r) || r.openVisit(PageKind::MessageBox) != nullptr; },
            std::max(left, std::chrono::milliseconds(0)));
        const ce::HWND box = page(PageKind::MessageBox);
        if (!box) return met;
        const DesktopRecord record = follower_.record();
        const PageVisit* visit = record.openVisit(PageKind::MessageBox);
        const std::string text = visit ? visit->text(-1) : std::string();
        terminal_.line("the updater shows a message box: \"" + text + "\"; pressing OK");
        pressButton(box, kMessageBoxOk);
        follower_.waitUntil([box](const DesktopRecord& r) {
            const PageVisit* open = r.openVisit(PageKind::MessageBox);
            return !open || open->hwnd != box;
        }, 5s);
        if (std::chrono::steady_clock::now() >= deadline) return condition(follower_.record());
    }
}

void DemoRun::updaterEnded(const std::string& when) {
    const int code = children_.exitCode("UpdateXan").value_or(-1);
    std::string last = lastLineOf(children_.outputOf("UpdateXan"));
    throw StepFailure(fmt::format("UpdateXan ended {} (exit code {}){}", when, code, last.empty() ? "" : ": " + last));
}

}  // namespace

std::optional<Fault> faultNamed(std::string_view name) { return parseFault(name); }

int runDemo(const DemoOptions& options) {
    DemoRun run(options);
    return run.run();
}

}  // namespace hu::demo
