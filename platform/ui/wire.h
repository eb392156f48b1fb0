#pragma once
// Frames of the desktop's message delivery between processes (internal).
//
// One request and one reply per connection, each a 32-bit length followed by fixed fields and
// a payload (the bytes of WM_COPYDATA, a JSON answer). The reader trusts nothing: it reads the
// fixed fields first and checks the announced length against what a frame of that kind can
// carry before it allocates anything, so a peer announcing gigabytes costs nothing. A request
// carries a payload only for WM_COPYDATA (8 bytes of dwData and at most COPYDATA_MAX_BYTES); a
// reply at most REPLY_PAYLOAD_MAX bytes. A reply may also hand over one file descriptor (the
// memory file holding a window's image), which the writer attaches to the frame's first bytes.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/core/error.h"

namespace ce {

enum class RequestKind : uint32_t {
    Send = 1,      // sendMessage: reply carries the result
    Post = 2,      // postMessage
    Describe = 3,  // the controls of a top-level window, as JSON
    Input = 4,     // injected pen or key input: msg, wParam, lParam = screen point or key
    Image = 5,     // the image of a top-level window: reply hands over its memory file
};

// A file descriptor that closes with its owner.
class OwnedFd {
public:
    OwnedFd() = default;
    explicit OwnedFd(int fd) : fd_(fd) {}
    ~OwnedFd() { reset(); }
    OwnedFd(OwnedFd&& other) noexcept : fd_(other.release()) {}
    OwnedFd& operator=(OwnedFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

struct Request {
    RequestKind kind = RequestKind::Send;
    uint32_t hwnd = 0;
    uint32_t msg = 0;
    uint64_t wParam = 0;
    int64_t lParam = 0;
    uint32_t senderPid = 0;
    std::vector<uint8_t> payload;
};

struct Reply {
    uint32_t status = 0;  // an Error code; 0 = handled
    int64_t result = 0;
    std::vector<uint8_t> payload;
    OwnedFd fd;  // handed over beside the frame (Image requests)
};

inline constexpr size_t REQUEST_FIXED_BYTES = 32;
inline constexpr size_t REPLY_FIXED_BYTES = 12;
inline constexpr size_t REPLY_PAYLOAD_MAX = 4u << 20;  // the controls of a window as JSON

// The longest payload a request of this kind (and message) may carry.
size_t requestPayloadLimit(RequestKind kind, uint32_t msg);

std::vector<uint8_t> encode(const Request& r);
std::vector<uint8_t> encode(const Reply& r);  // the descriptor travels apart (writeFrame)
// Bodies (frames without their length); nothing when a field is missing or the payload is
// longer than its kind allows.
std::optional<Request> decodeRequest(const std::vector<uint8_t>& body);
std::optional<Reply> decodeReply(const std::vector<uint8_t>& body);

using Deadline = std::optional<std::chrono::steady_clock::time_point>;

// Whole-frame socket I/O with a deadline. writeFrame hands over passFd (when >= 0) with the
// frame. The readers refuse an announced length their kind cannot carry with
// ERROR_INVALID_DATA before reading further; readReply keeps a descriptor that came with the
// reply (others are closed), readRequest accepts none.
Error writeFrame(int fd, const std::vector<uint8_t>& frame, Deadline deadline, int passFd = -1);
Result<Request> readRequest(int fd, Deadline deadline);
Result<Reply> readReply(int fd, Deadline deadline);

}  // namespace ce
