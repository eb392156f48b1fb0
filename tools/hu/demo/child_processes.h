#pragma once
// ChildProcesses: the programs the demo starts (simulators, the updater) and their end.
//
// Each child runs in a process group of its own, so that a Ctrl-C on the terminal reaches
// only the demo, which then stops the children in its own order; ending a child's group ends
// whatever that child started in it too. Each child also asks the kernel to send it SIGTERM
// when the demo dies (PR_SET_PDEATHSIG), so no child outlives a demo that crashed or was
// killed. Standard output and error of a child go to a file of its own.
//
// Children are started from the thread that owns this object; that thread must live as long
// as the children (the death signal follows the thread that forked).

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace hu::demo {

class ChildProcesses {
public:
    ChildProcesses() = default;
    ~ChildProcesses();  // stops every child still running
    ChildProcesses(const ChildProcesses&) = delete;
    ChildProcesses& operator=(const ChildProcesses&) = delete;

    // Starts argv[0] (a host path) with this process's environment, output appended to
    // `output`. Throws std::runtime_error with one line when the program cannot be started.
    pid_t start(const std::string& name, const std::vector<std::string>& argv, const std::filesystem::path& output);

    // The exit code once the child has ended (128 + signal when a signal ended it); nothing
    // while it runs or when there is no child of that name.
    std::optional<int> exitCode(const std::string& name);
    bool running(const std::string& name) { return known(name) && !exitCode(name); }
    // Waits up to `timeout` for the child to end; its exit code, or nothing.
    std::optional<int> waitExit(const std::string& name, std::chrono::milliseconds timeout);

    // SIGTERM to the child's group, SIGKILL after `grace`. Nothing when it has ended already.
    void stop(const std::string& name, std::chrono::milliseconds grace);
    // Stops every running child, the last started first.
    void stopAll(std::chrono::milliseconds grace);

    std::vector<pid_t> pids() const;
    std::filesystem::path outputOf(const std::string& name) const;

private:
    struct Child {
        std::string name;
        pid_t pid = -1;
        std::filesystem::path output;
        std::optional<int> exitCode;
    };
    Child* find(const std::string& name);
    bool known(const std::string& name) { return find(name) != nullptr; }
    void reap(Child& child);
    std::optional<int> waitChild(Child& child, std::chrono::milliseconds timeout);
    void stopChild(Child& child, std::chrono::milliseconds grace);

    std::vector<Child> children_;
};

// The last non-empty line of a file (a child's output), for one-line failure reports.
std::string lastLineOf(const std::filesystem::path& file);

}  // namespace hu::demo
