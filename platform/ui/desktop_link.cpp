#include "platform/ui/desktop_link.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/core/debug.h"
#include "platform/ui/message.h"
#include "platform/ui/window_index.h"

namespace ce {

namespace {

using SteadyClock = std::chrono::steady_clock;

socklen_t abstractAddress(const std::string& name, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    size_t n = std::min(name.size(), sizeof addr.sun_path - 1);
    std::memcpy(addr.sun_path + 1, name.data(), n);  // sun_path[0] = 0: abstract namespace
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

// The process at the other end of a connected socket, as the kernel recorded it.
std::optional<ucred> peerOf(int fd) {
    ucred peer{};
    socklen_t len = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &len) != 0) return std::nullopt;
    return peer;
}

// Processes of the user that runs this one may drive it; so may root, which could anyway.
bool trustedUser(uid_t uid) { return uid == geteuid() || uid == 0; }

// Debug lines about refused connections, at most one a second: a flood of connections must
// not become a flood of log lines. A line tells how many refusals it stands for.
class RefusalLog {
public:
    void note(const std::string& what) {
        std::lock_guard lock(mutex_);
        ++count_;
        auto now = SteadyClock::now();
        if (last_ && now - *last_ < std::chrono::seconds(1)) return;
        if (count_ == 1) debugPrint("desktop: %s\n", what);
        else debugPrint("desktop: %s (%d refused since the last note)\n", what, count_);
        last_ = now;
        count_ = 0;
    }

private:
    std::mutex mutex_;
    std::optional<SteadyClock::time_point> last_;
    int count_ = 0;
};

// Connections being served, in all and per peer process.
class ConnectionCount {
public:
    // Takes a slot for a connection from pid; false when the caps are reached.
    bool take(pid_t pid) {
        std::lock_guard lock(mutex_);
        int& mine = perPeer_[pid];
        if (total_ >= DesktopLink::MAX_CONNECTIONS || mine >= DesktopLink::MAX_CONNECTIONS_PER_PEER) {
            if (mine == 0) perPeer_.erase(pid);
            return false;
        }
        ++total_;
        ++mine;
        return true;
    }
    void release(pid_t pid) {
        std::lock_guard lock(mutex_);
        --total_;
        if (--perPeer_[pid] <= 0) perPeer_.erase(pid);
    }

private:
    std::mutex mutex_;
    int total_ = 0;
    std::map<pid_t, int> perPeer_;
};

struct Listener {
    DesktopLink::Handler handler;
    ConnectionCount connections;
    RefusalLog refusals;
};

// Answers a connection that is not served with a status alone, without reading its request:
// the reply is small enough to go out at once, and the peer reads it after its request.
void refuse(int fd, Error status) {
    Reply reply;
    reply.status = status;
    writeFrame(fd, encode(reply), SteadyClock::now());
    close(fd);
}

void serveConnection(int fd, pid_t peer, Listener& listener) {
    auto deadline = SteadyClock::now() + std::chrono::milliseconds(SEND_TIMEOUT_MS);
    auto request = readRequest(fd, deadline);
    if (request.ok() || request.error() == ERROR_INVALID_DATA) {
        Reply reply;
        if (request.ok()) reply = listener.handler(*request);
        else reply.status = ERROR_INVALID_DATA;  // the frame was refused before it was read
        // The answer may have taken long (a handler that sleeps); the sender decides whether it
        // still waits, so the write gets a fresh bound.
        writeFrame(fd, encode(reply), SteadyClock::now() + std::chrono::milliseconds(SEND_TIMEOUT_MS), reply.fd.get());
    }
    close(fd);
    listener.connections.release(peer);
}

void accepted(int fd, Listener& listener) {
    auto peer = peerOf(fd);
    if (!peer || !trustedUser(peer->uid)) {
        listener.refusals.note(peer ? fmt::format("connection of pid {} refused: user {} is not this program's user",
                                                  peer->pid, peer->uid)
                                    : std::string("connection refused: its peer is unknown"));
        refuse(fd, ERROR_ACCESS_DENIED);
        return;
    }
    if (!listener.connections.take(peer->pid)) {
        listener.refusals.note(fmt::format("connection of pid {} refused: too many requests at once", peer->pid));
        refuse(fd, ERROR_BUSY);
        return;
    }
    try {
        std::thread(serveConnection, fd, peer->pid, std::ref(listener)).detach();
    } catch (const std::system_error&) {  // no thread to be had: refused like any other excess
        listener.connections.release(peer->pid);
        listener.refusals.note("connection refused: no thread to serve it");
        refuse(fd, ERROR_BUSY);
    }
}

}  // namespace

bool DesktopLink::listen(Handler handler) {
    if (listening_) return true;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr;
    socklen_t len = abstractAddress(socketName(currentPid()), addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, 64) != 0) {
        close(fd);
        return false;
    }
    listening_ = true;
    // Lives as long as the process: connection threads may still run while it exits.
    auto* listener = new Listener{std::move(handler), {}, {}};
    std::thread([fd, listener] {
        for (;;) {
            int conn = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (conn < 0) {
                if (errno == EINTR || errno == ECONNABORTED) continue;
                if (errno == EMFILE || errno == ENFILE || errno == ENOMEM) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    continue;
                }
                return;
            }
            accepted(conn, *listener);
        }
    }).detach();
    return true;
}

namespace {

// One connection carrying the request and its reply.
Result<Reply> attempt(const std::string& name, int pid, const std::vector<uint8_t>& frame,
                      SteadyClock::time_point deadline, int wakeFd, const std::function<void()>& pump) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return fail(ERROR_NOT_ENOUGH_MEMORY);
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};

    sockaddr_un addr;
    socklen_t len = abstractAddress(name, addr);
    for (;;) {
        if (connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0) break;
        if (errno == EINTR) continue;
        if (errno == EAGAIN) {  // the peer's backlog is full: it is alive but slow
            if (SteadyClock::now() >= deadline) return fail(ERROR_TIMEOUT);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        return fail(ERROR_INVALID_HANDLE);  // nobody listens: the process is gone
    }
    // Anyone may bind a name in the abstract namespace; talk only to the process meant.
    auto peer = peerOf(fd);
    if (!peer || peer->pid != pid || !trustedUser(peer->uid)) return fail(ERROR_ACCESS_DENIED);
    if (Error e = writeFrame(fd, frame, deadline)) {
        if (e == ERROR_TIMEOUT) return fail(ERROR_TIMEOUT);
        // A refusal may have closed the connection before the request went out; its status
        // is waiting to be read.
        auto refusal = readReply(fd, SteadyClock::now());
        if (refusal.ok() && refusal->status != ERROR_SUCCESS) return std::move(refusal).value();
        return fail(ERROR_INVALID_HANDLE);
    }

    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
        if (left <= 0) return fail(ERROR_TIMEOUT);
        pollfd pfd[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        int n = poll(pfd, wakeFd >= 0 ? 2 : 1, static_cast<int>(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(ERROR_READ_FAULT);
        }
        if (n > 0 && wakeFd >= 0 && (pfd[1].revents & POLLIN) && pump) pump();
        if (pfd[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            auto reply = readReply(fd, deadline);
            if (!reply.ok()) {
                if (reply.error() == ERROR_INVALID_DATA) return fail(ERROR_INVALID_DATA);
                return fail(reply.error() == ERROR_TIMEOUT ? ERROR_TIMEOUT : ERROR_INVALID_HANDLE);
            }
            return std::move(reply).value();
        }
    }
}

}  // namespace

Result<Reply> DesktopLink::call(int pid, const Request& request, uint32_t timeoutMs, int wakeFd,
                                const std::function<void()>& pump) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    const std::vector<uint8_t> frame = encode(request);
    for (;;) {
        auto reply = attempt(socketName(pid), pid, frame, deadline, wakeFd, pump);
        // A peer serving as many requests as it takes: alive, only busy, like a full backlog.
        if (!reply.ok() || reply->status != ERROR_BUSY) return reply;
        if (SteadyClock::now() >= deadline) return fail(ERROR_TIMEOUT);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace ce
