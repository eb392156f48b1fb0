#pragma once
// Change notifications of the head unit's desktop, for a tool that shows the screen live: it
// waits for them instead of looking again and again.
//
// Three things change what the screen shows: a window's image (its program composes it
// anew), the window index (a window created, destroyed, moved, shown, hidden, raised) and the
// end of a program, however it ends (its windows vanish with it). The first two are writes in
// the desktop's folder, seen through inotify: a program that composed a window's image while a
// follower waits writes to the file "changes" there (which also counts composed images for
// every program, so that composing while nobody waits costs no system call), and the index is
// replaced whole at every change. The end of a program is seen through a pidfd of each process
// that owns a window.

#include <cstdint>
#include <map>
#include <memory>

#include "platform/core/error.h"
#include "platform/ui/wire.h"

namespace ce {

struct ChangeCounter;  // shared by every program of the desktop

class DesktopChanges {
public:
    // Follows this process's desktop (the head unit's run/desktop). ERROR_NOT_SUPPORTED for a
    // process outside a head unit, whose desktop is its own.
    static Result<std::unique_ptr<DesktopChanges>> open();
    ~DesktopChanges();
    DesktopChanges(const DesktopChanges&) = delete;
    DesktopChanges& operator=(const DesktopChanges&) = delete;

    // Waits up to timeoutMs (-1: for ever) for a change; true when one came. An image composed
    // since the last wait returned counts as a change at once; every notification waiting is
    // taken together, so a burst of changes wakes the caller once.
    bool wait(int timeoutMs);

private:
    DesktopChanges() = default;
    void followPrograms();
    void drainNotifications();

    OwnedFd epoll_;
    OwnedFd inotify_;
    std::map<int, OwnedFd> programs_;  // each program with windows: its pidfd (invalid once it ended)
    ChangeCounter* counter_ = nullptr;  // the desktop's count of composed images
    uint64_t seen_ = 0;                        // that count when wait() last returned
};

// After a window's image was composed: counts it, and wakes whoever waits on the desktop's
// changes (one write of one byte). Without a waiting follower it makes no system call; a no-op
// for a private desktop.
void announceImageChange();

}  // namespace ce
