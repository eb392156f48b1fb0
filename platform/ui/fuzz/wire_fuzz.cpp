// Frames from other processes are outside input. The bytes go through a socket into the same
// readers the desktop uses: whatever they announce, reading must neither crash, allocate more
// than a frame of its kind can carry, nor wait once the bytes have ended; and what the readers
// accept must encode back to the same frame.

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/ui/types.h"
#include "platform/ui/wire.h"

namespace {

// A socket whose other end holds the bytes and is closed, so every read ends at once.
int socketWith(const uint8_t* data, size_t size) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) std::abort();
    int buffer = 1 << 20;
    setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    size_t sent = 0;
    while (sent < size) {
        ssize_t n = write(fds[0], data + sent, size - sent);
        if (n <= 0) break;  // more than a socket holds: the rest is cut off, as a peer could
        sent += static_cast<size_t>(n);
    }
    close(fds[0]);
    return fds[1];
}

std::vector<uint8_t> frameOf(const uint8_t* data, size_t size) {
    return std::vector<uint8_t>(data, data + size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    const auto start = std::chrono::steady_clock::now();

    int fd = socketWith(data, size);
    auto request = ce::readRequest(fd, deadline);
    close(fd);
    if (request.ok()) {
        if (request->payload.size() > ce::requestPayloadLimit(request->kind, request->msg)) std::abort();
        auto again = ce::encode(*request);
        if (again.size() > size || again != frameOf(data, again.size())) std::abort();
    }

    fd = socketWith(data, size);
    auto reply = ce::readReply(fd, deadline);
    close(fd);
    if (reply.ok()) {
        if (reply->payload.size() > ce::REPLY_PAYLOAD_MAX || reply->fd.valid()) std::abort();
        auto again = ce::encode(*reply);
        if (again.size() > size || again != frameOf(data, again.size())) std::abort();
    }

    // The writer has gone: a reader that waited for the deadline has waited for nothing.
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(1)) std::abort();
    return 0;
}
