#include "platform/ui/wire.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ce {

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put64(std::vector<uint8_t>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

struct Reader {
    const std::vector<uint8_t>& bytes;
    size_t pos = 0;
    bool ok = true;
    uint64_t take(int n) {
        if (pos + static_cast<size_t>(n) > bytes.size()) {
            ok = false;
            return 0;
        }
        uint64_t v = 0;
        for (int i = 0; i < n; ++i) v |= static_cast<uint64_t>(bytes[pos + static_cast<size_t>(i)]) << (8 * i);
        pos += static_cast<size_t>(n);
        return v;
    }
    std::vector<uint8_t> rest() { return {bytes.begin() + static_cast<long>(std::min(pos, bytes.size())), bytes.end()}; }
};

std::vector<uint8_t> withLength(std::vector<uint8_t> body) {
    std::vector<uint8_t> frame;
    frame.reserve(body.size() + 4);
    put32(frame, static_cast<uint32_t>(body.size()));
    frame.insert(frame.end(), body.begin(), body.end());
    return frame;
}

int msLeft(Deadline deadline) {
    if (!deadline) return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(std::min<int64_t>(left, 1 << 30));
}

bool waitFd(int fd, short events, Deadline deadline) {
    for (;;) {
        pollfd pfd{fd, events, 0};
        int r = poll(&pfd, 1, msLeft(deadline));
        if (r > 0) return true;
        if (r == 0) return false;
        if (errno != EINTR) return false;
    }
}

Error readExact(int fd, uint8_t* buf, size_t size, Deadline deadline) {
    size_t got = 0;
    while (got < size) {
        if (!waitFd(fd, POLLIN, deadline)) return ERROR_TIMEOUT;
        ssize_t n = recv(fd, buf + got, size - got, MSG_DONTWAIT);
        if (n == 0) return ERROR_HANDLE_EOF;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return ERROR_READ_FAULT;
        }
        got += static_cast<size_t>(n);
    }
    return ERROR_SUCCESS;
}

}  // namespace

std::vector<uint8_t> encode(const Request& r) {
    std::vector<uint8_t> body;
    put32(body, static_cast<uint32_t>(r.kind));
    put32(body, r.hwnd);
    put32(body, r.msg);
    put64(body, r.wParam);
    put64(body, static_cast<uint64_t>(r.lParam));
    put32(body, r.senderPid);
    body.insert(body.end(), r.payload.begin(), r.payload.end());
    return withLength(std::move(body));
}

std::vector<uint8_t> encode(const Reply& r) {
    std::vector<uint8_t> body;
    put32(body, r.status);
    put64(body, static_cast<uint64_t>(r.result));
    body.insert(body.end(), r.payload.begin(), r.payload.end());
    return withLength(std::move(body));
}

std::optional<Request> decodeRequest(const std::vector<uint8_t>& body) {
    Reader in{body};
    Request r;
    r.kind = static_cast<RequestKind>(in.take(4));
    r.hwnd = static_cast<uint32_t>(in.take(4));
    r.msg = static_cast<uint32_t>(in.take(4));
    r.wParam = in.take(8);
    r.lParam = static_cast<int64_t>(in.take(8));
    r.senderPid = static_cast<uint32_t>(in.take(4));
    if (!in.ok) return std::nullopt;
    r.payload = in.rest();
    return r;
}

std::optional<Reply> decodeReply(const std::vector<uint8_t>& body) {
    Reader in{body};
    Reply r;
    r.status = static_cast<uint32_t>(in.take(4));
    r.result = static_cast<int64_t>(in.take(8));
    if (!in.ok) return std::nullopt;
    r.payload = in.rest();
    return r;
}

Error writeFrame(int fd, const std::vector<uint8_t>& frame, Deadline deadline) {
    size_t sent = 0;
    while (sent < frame.size()) {
        if (!waitFd(fd, POLLOUT, deadline)) return ERROR_TIMEOUT;
        ssize_t n = send(fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return ERROR_WRITE_FAULT;
        }
        sent += static_cast<size_t>(n);
    }
    return ERROR_SUCCESS;
}

Result<std::vector<uint8_t>> readFrame(int fd, Deadline deadline) {
    uint8_t len[4];
    if (Error e = readExact(fd, len, 4, deadline)) return fail(e);
    uint32_t size = static_cast<uint32_t>(len[0]) | (static_cast<uint32_t>(len[1]) << 8) |
                    (static_cast<uint32_t>(len[2]) << 16) | (static_cast<uint32_t>(len[3]) << 24);
    if (size > MAX_FRAME) return fail(ERROR_INVALID_DATA);
    std::vector<uint8_t> body(size);
    if (size > 0)
        if (Error e = readExact(fd, body.data(), size, deadline)) return fail(e);
    return body;
}

}  // namespace ce
