#pragma once
// Watchdog: cleans up after a demo that could not clean up itself.
//
// A demo stopped by SIGKILL, a crash or a closed terminal runs none of its own clean-up. The
// watchdog is a small process forked before the demo starts anything; it waits on a pipe
// whose write end only the demo holds. When the demo ends, the pipe closes. If the demo said
// "finished" first, the watchdog just leaves; otherwise it ends every process of the head unit
// (head_unit_processes.h), removes the desktop's leftovers and, for a temporary head unit,
// the folder itself. It ignores the terminal's signals so that a Ctrl-C does not take it away
// together with the demo.

#include <sys/types.h>

#include <filesystem>

namespace hu::demo {

class Watchdog {
public:
    // Forks the watchdog. Call it while the process has a single thread (before any other
    // thread is started). Throws std::runtime_error when the fork fails.
    Watchdog(const std::filesystem::path& root, bool removeFolder);
    ~Watchdog();  // without finished(): closes the pipe, and the watchdog cleans up
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // The demo cleaned up itself: the watchdog leaves without doing anything.
    void finished();

    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int pipe_ = -1;
};

}  // namespace hu::demo
