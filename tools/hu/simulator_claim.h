#pragma once
// One simulator of each kind per head unit. A second MCU simulator would take over dev/COM5
// and remove the link when it ends, leaving the first one unreachable; a second navigation
// program would play a second route to the same panel. So each `hu sim DIR NAME` first claims
// NAME on the head unit: an exclusive lock on run/sim-NAME.lock, which holds the owner's pid
// and is released by the kernel however the owner ends.

#include <filesystem>
#include <memory>
#include <string>

namespace hu {

class SimulatorClaim {
public:
    explicit SimulatorClaim(int fd) : fd_(fd) {}
    ~SimulatorClaim();
    SimulatorClaim(const SimulatorClaim&) = delete;
    SimulatorClaim& operator=(const SimulatorClaim&) = delete;

private:
    int fd_;
};

// Claims the simulator name of the head unit at root for this process's lifetime. When a live
// process holds it already, prints "hu sim: a NAME simulator already runs on ROOT (pid N)" and
// gives nothing; likewise (with the reason) when the lock file cannot be made.
std::unique_ptr<SimulatorClaim> claimSimulator(const std::filesystem::path& root, const std::string& name);

}  // namespace hu
