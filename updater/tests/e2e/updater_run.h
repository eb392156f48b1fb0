#pragma once
// End-to-end runs of the real UpdateXan in a temporary head unit: the package is built with
// `hu package`, the shell applications run as `hu sim DIR shell`, the updater's windows are
// read and clicked through `hu ctl`, and the outcome is read where the simulators keep it
// (flash/, log/).

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/headunit/headunit.h"

namespace updater::e2e {

// A program started in the background with the head unit's HEADUNIT_ROOT; killed (by its pid)
// when the object goes, if it still runs.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::filesystem::path& output);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The exit code once the program has ended within the time; nothing when it still runs.
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    std::optional<int> exitCode_;
};

struct CommandResult {
    int exitCode = -1;
    std::string output;  // stdout and stderr
};

class UpdaterRun {
public:
    explicit UpdaterRun(const sim::HeadUnitOptions& options = {});

    const std::filesystem::path& root() const { return unit_.root(); }
    sim::TempHeadUnit& unit() { return unit_; }

    // `hu ARGS...` with DIR put first for the commands that take it.
    CommandResult Hu(const std::vector<std::string>& args) const;
    // `hu package DIR ARGS...`; fails the test when it fails.
    void Package(const std::vector<std::string>& args = {}) const;

    void StartShell();
    void StartUpdater();
    Child& Updater() { return *updater_; }
    // Waits for the updater to end; its exit code, or nothing after the time.
    std::optional<int> WaitUpdaterEnd(std::chrono::milliseconds timeout);

    // The updater's main page and its controls as `hu ctl list --json` gives them.
    nlohmann::json Window(const std::string& title = "UpdateXan") const;
    nlohmann::json Control(int id, const std::string& title = "UpdateXan") const;
    bool WaitText(int id, const std::string& text, int timeoutSeconds, const std::string& title = "UpdateXan") const;
    bool Click(int id, const std::string& title = "UpdateXan") const;

    // The updater's debug output so far.
    std::string DebugLog() const;
    int CountInLog(const std::string& text) const;

private:
    sim::TempHeadUnit unit_;
    std::unique_ptr<Child> shell_;
    std::unique_ptr<Child> updater_;
};

// The text of the main page's message box.
std::string MessageText(const UpdaterRun& run);

}  // namespace updater::e2e
