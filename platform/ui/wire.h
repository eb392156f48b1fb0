#pragma once
// Frames of the desktop's message delivery between processes (internal).
//
// One request and one reply per connection, each a 32-bit length followed by fixed fields and
// a payload (the bytes of WM_COPYDATA, a JSON answer). The reader trusts nothing: a frame
// longer than MAX_FRAME or shorter than its fixed fields is refused.

#include <chrono>
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
};

inline constexpr uint32_t MAX_FRAME = 64u << 20;

std::vector<uint8_t> encode(const Request& r);
std::vector<uint8_t> encode(const Reply& r);
std::optional<Request> decodeRequest(const std::vector<uint8_t>& body);
std::optional<Reply> decodeReply(const std::vector<uint8_t>& body);

using Deadline = std::optional<std::chrono::steady_clock::time_point>;

// Whole-frame socket I/O with a deadline. readFrame returns the body without its length.
Error writeFrame(int fd, const std::vector<uint8_t>& frame, Deadline deadline);
Result<std::vector<uint8_t>> readFrame(int fd, Deadline deadline);

}  // namespace ce
