#include "tools/hu/simulator_claim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace hu {

namespace {

// The pid the owner wrote; it writes it right after taking the lock, so a claim that lost the
// race waits a moment for it.
std::string ownerPid(int fd) {
    for (int attempt = 0; attempt < 40; ++attempt) {
        char buffer[32] = {};
        ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
        if (n > 0) return std::string(buffer, static_cast<size_t>(n));
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return "unknown";
}

}  // namespace

SimulatorClaim::~SimulatorClaim() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

std::unique_ptr<SimulatorClaim> claimSimulator(const std::filesystem::path& root, const std::string& name) {
    std::error_code ec;
    std::filesystem::create_directories(root / "run", ec);
    const std::filesystem::path file = root / "run" / ("sim-" + name + ".lock");
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "hu sim: cannot claim the %s simulator of %s: %s: %s\n", name.c_str(), root.c_str(),
                     file.c_str(), std::strerror(errno));
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        std::fprintf(stderr, "hu sim: a %s simulator already runs on %s (pid %s)\n", name.c_str(), root.c_str(),
                     ownerPid(fd).c_str());
        ::close(fd);
        return nullptr;
    }
    const std::string pid = std::to_string(::getpid());
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        std::fprintf(stderr, "hu sim: cannot write %s: %s\n", file.c_str(), std::strerror(errno));
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<SimulatorClaim>(fd);
}

}  // namespace hu
