#include "platform/ui/desktop_changes.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>

#include "platform/ui/desktop.h"

namespace ce {

// The file "changes" is mapped into every program of the desktop and holds a counter of
// composed images and a flag a follower raises before it sleeps. Composing bumps the counter
// and, only when the flag is up, lowers it and writes one byte further on, which is what wakes
// the followers through inotify. With nobody following, or while a follower is still drawing
// the last change, composing costs no system call.
struct ChangeCounter {
    uint64_t generation;
    uint32_t armed;
};

namespace {

constexpr const char* kChangesFile = "changes";

constexpr off_t kWakeByte = 64;  // written to wake the followers; clear of the counter
constexpr off_t kFileSize = 4096;
static_assert(std::atomic_ref<uint64_t>::is_always_lock_free && std::atomic_ref<uint32_t>::is_always_lock_free,
              "the counter is shared between processes: its atomics must not take a lock");

std::atomic_ref<uint64_t> generationOf(ChangeCounter* c) { return std::atomic_ref<uint64_t>(c->generation); }
std::atomic_ref<uint32_t> armedOf(ChangeCounter* c) { return std::atomic_ref<uint32_t>(c->armed); }

int openPidfd(int pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

struct ChangesFile {
    int fd = -1;
    ChangeCounter* counter = nullptr;
};

// A file cut short by hand (": > changes") leaves the mapped page without its file, and the
// next access faults. The handler puts a private zero page in its place: the program goes on,
// only its images are no longer announced. Any other SIGBUS takes its course as before.
char* g_counterPage = nullptr;
struct sigaction g_previousBus {};

void onBusError(int signal, siginfo_t* info, void* context) {
    auto* at = static_cast<char*>(info->si_addr);
    if (info->si_code > 0 && g_counterPage && at >= g_counterPage && at < g_counterPage + kFileSize &&
        ::mmap(g_counterPage, static_cast<size_t>(kFileSize), PROT_READ | PROT_WRITE,
               MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED)
        return;  // the access runs again, on the new page
    if (g_previousBus.sa_flags & SA_SIGINFO) {
        g_previousBus.sa_sigaction(signal, info, context);
    } else if (g_previousBus.sa_handler != SIG_DFL && g_previousBus.sa_handler != SIG_IGN) {
        g_previousBus.sa_handler(signal);
    } else {
        ::sigaction(SIGBUS, &g_previousBus, nullptr);  // a fault comes back at once and ends the program
        if (info->si_code <= 0) ::raise(signal);     // one sent by kill()
    }
}

void guardCounterPage(void* page) {
    g_counterPage = static_cast<char*>(page);
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &g_previousBus);
}

// Opened and mapped once per process. Never a link, a FIFO or anything but a regular file of
// this user: then nothing is announced and nothing can be followed.
const ChangesFile& changesFile() {
    static const ChangesFile file = [] {
        ChangesFile f;
        const std::string folder = desktopFolder();
        if (folder.empty()) return f;
        const std::string path = (std::filesystem::path(folder) / kChangesFile).string();
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (fd < 0) return f;
        struct stat st {};
        const bool ours = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
        // Every program sizes it alike; a new file reads as zeros: no change yet, nobody armed.
        if (!ours || (st.st_size < kFileSize && ::ftruncate(fd, kFileSize) != 0)) {
            ::close(fd);
            return f;
        }
        void* map = ::mmap(nullptr, static_cast<size_t>(kFileSize), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (map == MAP_FAILED) {
            ::close(fd);
            return f;
        }
        guardCounterPage(map);
        f.fd = fd;
        f.counter = static_cast<ChangeCounter*>(map);
        return f;
    }();
    return file;
}

}  // namespace

void announceImageChange() {
    const ChangesFile& file = changesFile();
    if (!file.counter) return;
    generationOf(file.counter).fetch_add(1);
    // Sequentially consistent with the follower's "raise the flag, then read the counter": it
    // either sees this image counted or this program sees its flag up.
    auto armed = armedOf(file.counter);
    if (armed.load() == 0 || armed.exchange(0) == 0) return;
    const char byte = 0;
    [[maybe_unused]] ssize_t n = ::pwrite(file.fd, &byte, 1, kWakeByte);
}

Result<std::unique_ptr<DesktopChanges>> DesktopChanges::open() {
    const std::string folder = desktopFolder();  // binds the desktop and makes its folder
    if (folder.empty()) return fail(ERROR_NOT_SUPPORTED);
    const ChangesFile& file = changesFile();
    if (!file.counter) return fail(ERROR_ACCESS_DENIED);  // "changes" is not a file of ours
    std::unique_ptr<DesktopChanges> c(new DesktopChanges);
    c->counter_ = file.counter;
    c->seen_ = generationOf(file.counter).load();
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
    // Raise the flag, then look: an image composed from here on writes the wake byte, and one
    // composed since the caller last woke is seen now.
    armedOf(counter_).store(1);
    if (const uint64_t now = generationOf(counter_).load(); now != seen_) {
        seen_ = now;
        drainNotifications();  // the index may have changed too: a new program to follow
        followPrograms();
        return true;
    }
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
    drainNotifications();
    seen_ = generationOf(counter_).load();
    followPrograms();
    return true;
}

// Takes every notification waiting: one wake-up for a burst.
void DesktopChanges::drainNotifications() {
    alignas(inotify_event) char buffer[4096];
    while (::read(inotify_.get(), buffer, sizeof buffer) > 0) {
    }
}

}  // namespace ce
