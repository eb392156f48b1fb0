#pragma once
// Change notifications of the head unit's desktop, for a tool that shows the screen live: it
// waits for them instead of looking again and again.
//
// Three things change what the screen shows: a window's image (its program composes it
// anew), the window index (a window created, destroyed, moved, shown, hidden, raised) and the
// end of a program, however it ends (its windows vanish with it). The first two are writes in
// the desktop's folder, seen through inotify: each program touches the file "changes" there
// after it composed a window's image, and the index is replaced whole at every change. The end
// of a program is seen through a pidfd of each process that owns a window.

#include <memory>
#include <map>

#include "platform/core/error.h"
#include "platform/ui/wire.h"

namespace ce {

class DesktopChanges {
public:
    // Follows this process's desktop (the head unit's run/desktop). ERROR_NOT_SUPPORTED for a
    // process outside a head unit, whose desktop is its own.
    static Result<std::unique_ptr<DesktopChanges>> open();
    ~DesktopChanges();
    DesktopChanges(const DesktopChanges&) = delete;
    DesktopChanges& operator=(const DesktopChanges&) = delete;

    // Waits up to timeoutMs (-1: for ever) for a change; true when one came. Every notification
    // waiting is taken at once, so a burst of changes wakes the caller once.
    bool wait(int timeoutMs);

    // A descriptor that becomes readable when a change comes (for a caller's own poll loop).
    int fd() const { return epoll_.get(); }

private:
    DesktopChanges() = default;
    void followPrograms();

    OwnedFd epoll_;
    OwnedFd inotify_;
    std::map<int, OwnedFd> programs_;  // each program with windows: its pidfd (invalid once it ended)
};

// After a window's image was composed: wakes whoever follows the desktop. Cheap (one write of
// one byte) and a no-op for a private desktop.
void announceImageChange();

}  // namespace ce
