#include "platform/ui/wire.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/ui/types.h"

namespace ce {

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put64(std::vector<uint8_t>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

struct Reader {
    const uint8_t* bytes;
    size_t size;
    size_t pos = 0;
    bool ok = true;
    uint64_t take(int n) {
        if (pos + static_cast<size_t>(n) > size) {
            ok = false;
            return 0;
        }
        uint64_t v = 0;
        for (int i = 0; i < n; ++i) v |= static_cast<uint64_t>(bytes[pos + static_cast<size_t>(i)]) << (8 * i);
        pos += static_cast<size_t>(n);
        return v;
    }
};

std::vector<uint8_t> withLength(std::vector<uint8_t> body) {
    std::vector<uint8_t> frame;
    frame.reserve(body.size() + 4);
    put32(frame, static_cast<uint32_t>(body.size()));
    frame.insert(frame.end(), body.begin(), body.end());
    return frame;
}

// The fixed fields of a request (its first REQUEST_FIXED_BYTES).
Request requestFields(const uint8_t* fixed) {
    Reader in{fixed, REQUEST_FIXED_BYTES};
    Request r;
    r.kind = static_cast<RequestKind>(in.take(4));
    r.hwnd = static_cast<uint32_t>(in.take(4));
    r.msg = static_cast<uint32_t>(in.take(4));
    r.wParam = in.take(8);
    r.lParam = static_cast<int64_t>(in.take(8));
    r.senderPid = static_cast<uint32_t>(in.take(4));
    return r;
}

Reply replyFields(const uint8_t* fixed) {
    Reader in{fixed, REPLY_FIXED_BYTES};
    Reply r;
    r.status = static_cast<uint32_t>(in.take(4));
    r.result = static_cast<int64_t>(in.take(8));
    return r;
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

// Reads exactly size bytes. With `passed` given, a descriptor that arrives with the bytes is
// kept there (one at most; any further one is closed); without it the kernel drops them.
Error readExact(int fd, uint8_t* buf, size_t size, Deadline deadline, OwnedFd* passed = nullptr) {
    size_t got = 0;
    while (got < size) {
        if (!waitFd(fd, POLLIN, deadline)) return ERROR_TIMEOUT;
        iovec iov{buf + got, size - got};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        if (passed) {
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
        }
        ssize_t n = recvmsg(fd, &msg, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
        if (n == 0) return ERROR_HANDLE_EOF;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return ERROR_READ_FAULT;
        }
        if (passed) {
            for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
                int received = -1;
                std::memcpy(&received, CMSG_DATA(c), sizeof received);
                if (passed->valid()) ::close(received);
                else passed->reset(received);
            }
        }
        got += static_cast<size_t>(n);
    }
    return ERROR_SUCCESS;
}

Result<uint32_t> readLength(int fd, Deadline deadline, OwnedFd* passed) {
    uint8_t len[4];
    if (Error e = readExact(fd, len, 4, deadline, passed)) return fail(e);
    return static_cast<uint32_t>(len[0]) | (static_cast<uint32_t>(len[1]) << 8) |
           (static_cast<uint32_t>(len[2]) << 16) | (static_cast<uint32_t>(len[3]) << 24);
}

}  // namespace

void OwnedFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

size_t requestPayloadLimit(RequestKind kind, uint32_t msg) {
    if (kind == RequestKind::Send && msg == WM_COPYDATA) return 8 + COPYDATA_MAX_BYTES;
    return 0;
}

std::vector<uint8_t> encode(const Request& r) {
    std::vector<uint8_t> body;
    body.reserve(REQUEST_FIXED_BYTES + r.payload.size());
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
    body.reserve(REPLY_FIXED_BYTES + r.payload.size());
    put32(body, r.status);
    put64(body, static_cast<uint64_t>(r.result));
    body.insert(body.end(), r.payload.begin(), r.payload.end());
    return withLength(std::move(body));
}

std::optional<Request> decodeRequest(const std::vector<uint8_t>& body) {
    if (body.size() < REQUEST_FIXED_BYTES) return std::nullopt;
    Request r = requestFields(body.data());
    if (body.size() - REQUEST_FIXED_BYTES > requestPayloadLimit(r.kind, r.msg)) return std::nullopt;
    r.payload.assign(body.begin() + REQUEST_FIXED_BYTES, body.end());
    return r;
}

std::optional<Reply> decodeReply(const std::vector<uint8_t>& body) {
    if (body.size() < REPLY_FIXED_BYTES || body.size() - REPLY_FIXED_BYTES > REPLY_PAYLOAD_MAX) return std::nullopt;
    Reply r = replyFields(body.data());
    r.payload.assign(body.begin() + REPLY_FIXED_BYTES, body.end());
    return r;
}

Error writeFrame(int fd, const std::vector<uint8_t>& frame, Deadline deadline, int passFd) {
    size_t sent = 0;
    bool fdSent = passFd < 0;
    while (sent < frame.size()) {
        if (!waitFd(fd, POLLOUT, deadline)) return ERROR_TIMEOUT;
        iovec iov{const_cast<uint8_t*>(frame.data() + sent), frame.size() - sent};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        if (!fdSent) {
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            cmsghdr* c = CMSG_FIRSTHDR(&msg);
            c->cmsg_level = SOL_SOCKET;
            c->cmsg_type = SCM_RIGHTS;
            c->cmsg_len = CMSG_LEN(sizeof(int));
            std::memcpy(CMSG_DATA(c), &passFd, sizeof passFd);
        }
        ssize_t n = sendmsg(fd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return ERROR_WRITE_FAULT;
        }
        fdSent = true;
        sent += static_cast<size_t>(n);
    }
    return ERROR_SUCCESS;
}

Result<Request> readRequest(int fd, Deadline deadline) {
    auto size = readLength(fd, deadline, nullptr);
    if (!size) return fail(size.error());
    // The largest request there is; anything longer is refused before its kind is even read.
    if (*size < REQUEST_FIXED_BYTES || *size > REQUEST_FIXED_BYTES + 8 + COPYDATA_MAX_BYTES)
        return fail(ERROR_INVALID_DATA);
    uint8_t fixed[REQUEST_FIXED_BYTES];
    if (Error e = readExact(fd, fixed, sizeof fixed, deadline)) return fail(e);
    Request r = requestFields(fixed);
    const size_t payload = *size - REQUEST_FIXED_BYTES;
    if (payload > requestPayloadLimit(r.kind, r.msg)) return fail(ERROR_INVALID_DATA);
    r.payload.resize(payload);
    if (payload > 0)
        if (Error e = readExact(fd, r.payload.data(), payload, deadline)) return fail(e);
    return r;
}

Result<Reply> readReply(int fd, Deadline deadline) {
    OwnedFd passed;
    auto size = readLength(fd, deadline, &passed);
    if (!size) return fail(size.error());
    if (*size < REPLY_FIXED_BYTES || *size - REPLY_FIXED_BYTES > REPLY_PAYLOAD_MAX) return fail(ERROR_INVALID_DATA);
    uint8_t fixed[REPLY_FIXED_BYTES];
    if (Error e = readExact(fd, fixed, sizeof fixed, deadline, &passed)) return fail(e);
    Reply r = replyFields(fixed);
    r.payload.resize(*size - REPLY_FIXED_BYTES);
    if (!r.payload.empty())
        if (Error e = readExact(fd, r.payload.data(), r.payload.size(), deadline, &passed)) return fail(e);
    r.fd = std::move(passed);
    return r;
}

}  // namespace ce
