#include "tools/hu/demo/child_processes.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace hu::demo {

namespace {

// Runs in the forked child: only async-signal-safe calls until the exec.
[[noreturn]] void execChild(pid_t parent, int outputFd, char* const argv[], int errorPipe) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);  // the demo died before the death signal was armed
    // The demo ignores SIGPIPE and catches the interrupt signals; the child starts afresh.
    ::signal(SIGPIPE, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGHUP, SIG_DFL);
    ::dup2(outputFd, STDOUT_FILENO);
    ::dup2(outputFd, STDERR_FILENO);
    int nullFd = ::open("/dev/null", O_RDONLY);
    if (nullFd >= 0) ::dup2(nullFd, STDIN_FILENO);
    ::execve(argv[0], argv, environ);
    int error = errno;
    ssize_t ignored = ::write(errorPipe, &error, sizeof error);
    (void)ignored;
    ::_exit(127);
}

}  // namespace

ChildProcesses::~ChildProcesses() { stopAll(std::chrono::milliseconds(2000)); }

pid_t ChildProcesses::start(const std::string& name, const std::vector<std::string>& argv,
                            const std::filesystem::path& output) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int outputFd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (outputFd < 0) throw std::runtime_error("cannot write " + output.string() + ": " + std::strerror(errno));
    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0) {
        ::close(outputFd);
        throw std::runtime_error(std::string("cannot start ") + name + ": " + std::strerror(errno));
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) execChild(parent, outputFd, args.data(), errorPipe[1]);
    ::close(outputFd);
    ::close(errorPipe[1]);
    if (pid < 0) {
        ::close(errorPipe[0]);
        throw std::runtime_error(std::string("cannot start ") + name + ": " + std::strerror(errno));
    }
    ::setpgid(pid, pid);  // also from this side, so the group exists before start() returns
    // The pipe closes without data when the exec succeeded.
    int execError = 0;
    ssize_t got;
    while ((got = ::read(errorPipe[0], &execError, sizeof execError)) < 0 && errno == EINTR) {
    }
    ::close(errorPipe[0]);
    children_.push_back(Child{name, pid, output, std::nullopt});
    if (got == static_cast<ssize_t>(sizeof execError)) {
        waitChild(children_.back(), std::chrono::milliseconds(1000));
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(execError));
    }
    return pid;
}

ChildProcesses::Child* ChildProcesses::find(const std::string& name) {
    // The latest child of that name: a program may be started more than once.
    for (auto it = children_.rbegin(); it != children_.rend(); ++it)
        if (it->name == name) return &*it;
    return nullptr;
}

void ChildProcesses::reap(Child& child) {
    if (child.exitCode || child.pid <= 0) return;
    int status = 0;
    pid_t r;
    while ((r = ::waitpid(child.pid, &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    if (r == child.pid) child.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    else if (r < 0) child.exitCode = -1;  // not ours any more: count it as ended
}

std::optional<int> ChildProcesses::exitCode(const std::string& name) {
    Child* child = find(name);
    if (!child) return std::nullopt;
    reap(*child);
    return child->exitCode;
}

std::optional<int> ChildProcesses::waitExit(const std::string& name, std::chrono::milliseconds timeout) {
    Child* child = find(name);
    return child ? waitChild(*child, timeout) : std::nullopt;
}

std::optional<int> ChildProcesses::waitChild(Child& child, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        reap(child);
        if (child.exitCode || std::chrono::steady_clock::now() >= deadline) return child.exitCode;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void ChildProcesses::stop(const std::string& name, std::chrono::milliseconds grace) {
    if (Child* child = find(name)) stopChild(*child, grace);
}

void ChildProcesses::stopChild(Child& child, std::chrono::milliseconds grace) {
    reap(child);
    if (child.exitCode) return;
    // The whole group: whatever the child started in it goes with it.
    ::kill(-child.pid, SIGTERM);
    if (!waitChild(child, grace)) {
        ::kill(-child.pid, SIGKILL);
        waitChild(child, std::chrono::milliseconds(2000));
    }
}

void ChildProcesses::stopAll(std::chrono::milliseconds grace) {
    // Ask every running child at once, then wait: the grace period is shared.
    for (auto& child : children_) {
        reap(child);
        if (!child.exitCode) ::kill(-child.pid, SIGTERM);
    }
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) stopChild(*it, grace);
}

std::vector<pid_t> ChildProcesses::pids() const {
    std::vector<pid_t> all;
    for (const auto& child : children_) all.push_back(child.pid);
    return all;
}

std::filesystem::path ChildProcesses::outputOf(const std::string& name) const {
    for (auto it = children_.rbegin(); it != children_.rend(); ++it)
        if (it->name == name) return it->output;
    return {};
}

std::string lastLineOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string line, last;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) last = line;
    }
    return last;
}

}  // namespace hu::demo
