#include "platform/ui/desktop_link.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>

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

void serveConnection(int fd, const DesktopLink::Handler& handler) {
    auto deadline = SteadyClock::now() + std::chrono::milliseconds(SEND_TIMEOUT_MS);
    auto body = readFrame(fd, deadline);
    if (body.ok()) {
        Reply reply;
        if (auto request = decodeRequest(*body)) reply = handler(*request);
        else reply.status = ERROR_INVALID_DATA;
        // The answer may have taken long (a handler that sleeps); the sender decides whether it
        // still waits, so the write gets a fresh bound.
        writeFrame(fd, encode(reply), SteadyClock::now() + std::chrono::milliseconds(SEND_TIMEOUT_MS));
    }
    close(fd);
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
    auto shared = std::make_shared<Handler>(std::move(handler));
    std::thread([fd, shared] {
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
            std::thread(serveConnection, conn, *shared).detach();
        }
    }).detach();
    return true;
}

Result<Reply> DesktopLink::call(int pid, const Request& request, uint32_t timeoutMs, int wakeFd,
                                const std::function<void()>& pump) {
    auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return fail(ERROR_NOT_ENOUGH_MEMORY);
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};

    sockaddr_un addr;
    socklen_t len = abstractAddress(socketName(pid), addr);
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
    if (Error e = writeFrame(fd, encode(request), deadline)) return fail(e == ERROR_TIMEOUT ? ERROR_TIMEOUT : ERROR_INVALID_HANDLE);

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
            auto body = readFrame(fd, deadline);
            if (!body.ok()) return fail(body.error() == ERROR_TIMEOUT ? ERROR_TIMEOUT : ERROR_INVALID_HANDLE);
            auto reply = decodeReply(*body);
            if (!reply) return fail(ERROR_INVALID_DATA);
            return *reply;
        }
    }
}

}  // namespace ce
