#include "tools/hu/tests/run_command.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

extern char** environ;

namespace hu::testing {

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

Outcome runCommand(const std::string& command, const std::string& environment, int timeoutSeconds) {
    char templ[] = "/tmp/hu-run-XXXXXX";
    const fs::path dir = ::mkdtemp(templ);
    const fs::path out = dir / "out", err = dir / "err";
    // timeout's own status 124 stands for a hang, which every caller treats as a failure.
    const std::string line = environment + " timeout -s KILL " + std::to_string(timeoutSeconds) + " " + command +
                             " </dev/null >" + out.string() + " 2>" + err.string();
    const int raw = std::system(line.c_str());
    Outcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    outcome.out = slurp(out);
    outcome.err = slurp(err);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return outcome;
}

Background::Background(const std::vector<std::string>& argv) {
    char templ[] = "/tmp/hu-bg-XXXXXX";
    dir_ = ::mkdtemp(templ);
    std::vector<std::string> args = argv;
    std::vector<char*> pointers;
    for (auto& a : args) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    const std::string out = (dir_ / "out").string(), err = (dir_ / "err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, pointers.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
}

Background::~Background() {
    if (pid_ > 0) stop(SIGTERM);
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

bool Background::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
    return false;
}

std::string Background::out() const { return slurp(dir_ / "out"); }
std::string Background::err() const { return slurp(dir_ / "err"); }

int Background::stop(int signal) {
    if (pid_ > 0) {
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        pid_ = -1;
    }
    return status_;
}

bool Background::waitForOutput(const std::string& text, int timeoutSeconds) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (out().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::string hu(const std::string& arguments) { return std::string(HU_BIN_DIR) + "/hu " + arguments; }

std::string program(const std::string& name) { return std::string(HU_BIN_DIR) + "/" + name; }

}  // namespace hu::testing
