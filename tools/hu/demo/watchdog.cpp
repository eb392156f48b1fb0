#include "tools/hu/demo/watchdog.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "tools/hu/demo/head_unit_processes.h"

namespace hu::demo {

namespace {

constexpr char kFinished = 'F';

// The watchdog's whole life, in the forked process.
[[noreturn]] void watch(int readEnd, const std::filesystem::path& root, bool removeFolder) {
    // A session of its own: a signal to the demo's process group does not reach it.
    ::setsid();
    ::signal(SIGINT, SIG_IGN);
    ::signal(SIGHUP, SIG_IGN);
    ::signal(SIGTERM, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
    // Detach from the demo's standard files: a pipe reader of the demo's output must see its
    // end when the demo ends, not when the watchdog does.
    int nullFd = ::open("/dev/null", O_RDWR);
    if (nullFd >= 0) {
        ::dup2(nullFd, STDIN_FILENO);
        ::dup2(nullFd, STDOUT_FILENO);
        ::dup2(nullFd, STDERR_FILENO);
    }
    char byte = 0;
    ssize_t got;
    while ((got = ::read(readEnd, &byte, 1)) < 0 && errno == EINTR) {
    }
    if (got == 1 && byte == kFinished) ::_exit(0);

    // The demo ended without cleaning up.
    endHeadUnitProcesses(root, std::chrono::milliseconds(2000));
    if (removeFolder) {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    ::_exit(0);
}

}  // namespace

Watchdog::Watchdog(const std::filesystem::path& root, bool removeFolder) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error(std::string("cannot start the watchdog: ") + std::strerror(errno));
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(fds[1]);
        watch(fds[0], root, removeFolder);
    }
    ::close(fds[0]);
    if (pid_ < 0) {
        ::close(fds[1]);
        throw std::runtime_error(std::string("cannot start the watchdog: ") + std::strerror(errno));
    }
    pipe_ = fds[1];
}

void Watchdog::finished() {
    if (pipe_ < 0) return;
    ssize_t ignored = ::write(pipe_, &kFinished, 1);
    (void)ignored;
    ::close(pipe_);
    pipe_ = -1;
    int status;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
}

Watchdog::~Watchdog() {
    if (pipe_ < 0) return;
    ::close(pipe_);  // the watchdog cleans up now; it is not waited for
}

}  // namespace hu::demo
