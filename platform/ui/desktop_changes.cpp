#include "platform/ui/desktop_changes.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>

#include "platform/ui/desktop.h"

namespace ce {

namespace {

constexpr const char* kChangesFile = "changes";

int openPidfd(int pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

// The file this process touches after composing, opened once. Never a link, a FIFO or anything
// but a regular file of this user: then nothing is announced.
int changesFile() {
    static int fd = [] {
        const std::string folder = desktopFolder();
        if (folder.empty()) return -1;
        const std::string path = (std::filesystem::path(folder) / kChangesFile).string();
        int f = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (f < 0) return -1;
        struct stat st {};
        if (::fstat(f, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
            ::close(f);
            return -1;
        }
        return f;
    }();
    return fd;
}

}  // namespace

void announceImageChange() {
    const int fd = changesFile();
    if (fd < 0) return;
    const char byte = 0;
    // One byte at the start: the file never grows; only the notification matters.
    [[maybe_unused]] ssize_t n = ::pwrite(fd, &byte, 1, 0);
}

Result<std::unique_ptr<DesktopChanges>> DesktopChanges::open() {
    const std::string folder = desktopFolder();  // binds the desktop and makes its folder
    if (folder.empty()) return fail(ERROR_NOT_SUPPORTED);
    std::unique_ptr<DesktopChanges> c(new DesktopChanges);
    c->epoll_ = OwnedFd(::epoll_create1(EPOLL_CLOEXEC));
    c->inotify_ = OwnedFd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!c->epoll_.valid() || !c->inotify_.valid()) return fail(ERROR_NOT_ENOUGH_MEMORY);
    // The index is replaced by a rename (IN_MOVED_TO); images are announced by a write.
    if (::inotify_add_watch(c->inotify_.get(), folder.c_str(), IN_MOVED_TO | IN_MODIFY | IN_DELETE_SELF | IN_ONLYDIR) < 0)
        return fail(ERROR_PATH_NOT_FOUND);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = c->inotify_.get();
    if (::epoll_ctl(c->epoll_.get(), EPOLL_CTL_ADD, c->inotify_.get(), &ev) != 0) return fail(ERROR_NOT_ENOUGH_MEMORY);
    c->followPrograms();
    return c;
}

DesktopChanges::~DesktopChanges() = default;

// Watches the end of every process that owns a window now; forgets those no longer listed.
void DesktopChanges::followPrograms() {
    std::set<int> owners;
    for (const auto& w : enumTopLevelWindows()) owners.insert(w.pid);
    for (auto it = programs_.begin(); it != programs_.end();) {
        if (owners.count(it->first)) {
            ++it;
            continue;
        }
        if (it->second.valid()) ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, it->second.get(), nullptr);
        it = programs_.erase(it);
    }
    for (int pid : owners) {
        if (programs_.count(pid)) continue;
        OwnedFd pidfd(openPidfd(pid));
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = pidfd.get();
        if (pidfd.valid() && ::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, pidfd.get(), &ev) != 0) pidfd.reset();
        programs_.emplace(pid, std::move(pidfd));
    }
}

bool DesktopChanges::wait(int timeoutMs) {
    epoll_event events[16];
    int n;
    do {
        n = ::epoll_wait(epoll_.get(), events, 16, timeoutMs);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return false;
    // A program's end is told once: its pidfd stays readable (a zombie may stay listed for a
    // while), so it leaves the watch at once.
    for (int i = 0; i < n; ++i) {
        if (events[i].data.fd == inotify_.get()) continue;
        for (auto& [pid, pidfd] : programs_) {
            if (pidfd.get() != events[i].data.fd) continue;
            ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, pidfd.get(), nullptr);
            pidfd.reset();
        }
    }
    // Take every notification waiting: one wake-up for a burst.
    alignas(inotify_event) char buffer[4096];
    while (::read(inotify_.get(), buffer, sizeof buffer) > 0) {
    }
    followPrograms();
    return true;
}

}  // namespace ce
