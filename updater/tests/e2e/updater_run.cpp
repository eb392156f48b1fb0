#include "updater/tests/e2e/updater_run.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <thread>

extern char** environ;

namespace updater::e2e {

namespace {

std::string ShellQuote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

const std::string kHu = std::string(HU_BIN_DIR) + "/hu";

}  // namespace

Child::Child(const std::vector<std::string>& argv, const std::filesystem::path& output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
}

Child::~Child() {
    if (pid_ > 0 && !exitCode_) {
        ::kill(pid_, SIGTERM);
        if (!Wait(std::chrono::milliseconds(2000))) {
            ::kill(pid_, SIGKILL);
            Wait(std::chrono::milliseconds(2000));
        }
    }
}

std::optional<int> Child::Wait(std::chrono::milliseconds timeout) {
    if (exitCode_ || pid_ <= 0) return exitCode_;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return exitCode_;
        }
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

UpdaterRun::UpdaterRun(const sim::HeadUnitOptions& options) : unit_(options) {}

CommandResult UpdaterRun::Hu(const std::vector<std::string>& args) const {
    std::string command = ShellQuote(kHu);
    for (size_t i = 0; i < args.size(); ++i) {
        command += " " + ShellQuote(args[i]);
        if (i == 0 && args[0] != "--help") command += " " + ShellQuote(root().string());
    }
    command += " 2>&1";
    CommandResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer;
    size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), got);
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

void UpdaterRun::Package(const std::vector<std::string>& args) const {
    std::vector<std::string> all = {"package"};
    all.insert(all.end(), args.begin(), args.end());
    const CommandResult result = Hu(all);
    ASSERT_EQ(result.exitCode, 0) << result.output;
}

void UpdaterRun::StartShell() {
    shell_ = std::make_unique<Child>(std::vector<std::string>{kHu, "sim", root().string(), "shell"},
                                     root() / "log" / "shell.out");
    for (int i = 0; i < 200; ++i) {
        if (Hu({"ctl", "text", "--title", "ORV_SETUP", "0"}).output.find("no window") == std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
}

void UpdaterRun::StartUpdater() {
    updater_ = std::make_unique<Child>(std::vector<std::string>{std::string(HU_BIN_DIR) + "/UpdateXan"},
                                       root() / "log" / "UpdateXan.out");
}

std::optional<int> UpdaterRun::WaitUpdaterEnd(std::chrono::milliseconds timeout) { return updater_->Wait(timeout); }

nlohmann::json UpdaterRun::Window(const std::string& title) const {
    nlohmann::json windows;
    for (int attempt = 0; attempt < 20 && !windows.is_array(); ++attempt) {
        if (attempt) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        windows = nlohmann::json::parse(Hu({"ctl", "list", "--json"}).output, nullptr, false);
    }
    if (windows.is_array()) {
        for (const auto& w : windows) {
            if (w.value("title", "") == title) return w;
        }
    }
    return nlohmann::json::object();
}

nlohmann::json UpdaterRun::Control(int id, const std::string& title) const {
    // A window listed without controls did not answer the listing in time (a busy machine):
    // ask again rather than take it for a window without them.
    for (int attempt = 0; attempt < 50; ++attempt) {
        const auto window = Window(title);
        if (window.empty()) break;
        if (window.contains("controls") && !window["controls"].empty()) {
            for (const auto& c : window["controls"]) {
                if (c.value("id", 0) == id) return c;
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return nlohmann::json::object();
}

bool UpdaterRun::WaitText(int id, const std::string& text, int timeoutSeconds, const std::string& title) const {
    return Hu({"ctl", "wait", "--title", title, std::to_string(id), text, "--timeout", std::to_string(timeoutSeconds)})
               .exitCode == 0;
}

bool UpdaterRun::Click(int id, const std::string& title) const {
    return Hu({"ctl", "click", "--title", title, std::to_string(id)}).exitCode == 0;
}

std::string UpdaterRun::DebugLog() const {
    std::ifstream in(root() / "log" / "UpdateXan.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int UpdaterRun::CountInLog(const std::string& text) const {
    const std::string log = DebugLog();
    int count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + text.size())) ++count;
    return count;
}

std::string MessageText(const UpdaterRun& run) { return run.Control(1006).value("text", ""); }

}  // namespace updater::e2e
