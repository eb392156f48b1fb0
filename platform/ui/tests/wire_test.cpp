// Frames between processes: what is sent arrives whole, and what a broken or hostile peer
// sends is refused without waiting forever, reading past the bytes or allocating what a frame
// merely announces.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <thread>

#include "platform/ui/shared_pixels.h"
#include "platform/ui/types.h"
#include "platform/ui/wire.h"

using namespace ce;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

struct SocketPair {
    int a = -1, b = -1;
    SocketPair() {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0) {
            a = fds[0];
            b = fds[1];
        }
    }
    ~SocketPair() {
        close(a);
        close(b);
    }
};

Deadline soon() { return std::chrono::steady_clock::now() + 200ms; }

// The length and fixed fields of a request frame that announces `payload` bytes it never sends.
std::vector<uint8_t> announcing(RequestKind kind, uint32_t msg, uint32_t payload) {
    Request r;
    r.kind = kind;
    r.msg = msg;
    std::vector<uint8_t> frame = encode(r);
    const uint32_t length = static_cast<uint32_t>(REQUEST_FIXED_BYTES) + payload;
    for (int i = 0; i < 4; ++i) frame[static_cast<size_t>(i)] = static_cast<uint8_t>(length >> (8 * i));
    return frame;
}

}  // namespace

TEST(Wire, RequestAndReplyCrossASocketWhole) {
    SocketPair s;
    Request r;
    r.kind = RequestKind::Send;
    r.hwnd = 0x10002;
    r.msg = WM_COPYDATA;
    r.wParam = 0x8000;
    r.lParam = -5;
    r.senderPid = 77;
    r.payload.assign(300000, 0xAB);  // larger than a socket buffer: written while read
    std::thread writer([&] { EXPECT_EQ(writeFrame(s.a, encode(r), soon()), ERROR_SUCCESS); });
    auto back = readRequest(s.b, soon());
    writer.join();
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back->hwnd, r.hwnd);
    EXPECT_EQ(back->msg, r.msg);
    EXPECT_EQ(back->wParam, r.wParam);
    EXPECT_EQ(back->lParam, -5);
    EXPECT_EQ(back->payload, r.payload);

    Reply reply;
    reply.result = -1;
    reply.payload = {1, 2, 3};
    ASSERT_EQ(writeFrame(s.b, encode(reply), soon()), ERROR_SUCCESS);
    auto decoded = readReply(s.a, soon());
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(decoded->result, -1);
    EXPECT_EQ(decoded->payload, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(decoded->fd.valid());
}

TEST(Wire, AnnouncedSizesBeyondWhatTheKindCarriesAreRefusedBeforeReading) {
    struct Case {
        RequestKind kind;
        uint32_t msg;
        uint32_t payload;
        bool accepted;
    } cases[] = {
        {RequestKind::Send, WM_COPYDATA, 8 + COPYDATA_MAX_BYTES, true},
        {RequestKind::Send, WM_COPYDATA, 8 + COPYDATA_MAX_BYTES + 1, false},
        {RequestKind::Send, 0xC001, 1, false},  // a plain message carries nothing
        {RequestKind::Post, WM_COPYDATA, 100, false},
        {RequestKind::Describe, 0, 64, false},
        {RequestKind::Image, 0, 1, false},
        {static_cast<RequestKind>(99), WM_COPYDATA, 16, false},
        {RequestKind::Send, 0, 0xFFFFFFF0u, false},  // announces 4 GiB
    };
    for (const Case& c : cases) {
        SocketPair s;
        auto frame = announcing(c.kind, c.msg, c.payload);
        ASSERT_EQ(write(s.a, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
        // The payload never comes: a refused frame is refused at once, an accepted one waits.
        auto got = readRequest(s.b, soon());
        EXPECT_EQ(got.error(), c.accepted ? ERROR_TIMEOUT : ERROR_INVALID_DATA)
            << "kind " << static_cast<int>(c.kind) << " msg " << c.msg << " payload " << c.payload;
    }

    SocketPair r;
    uint8_t huge[4] = {0xFF, 0xFF, 0xFF, 0x7F};  // a reply announcing 2 GiB
    ASSERT_EQ(write(r.a, huge, 4), 4);
    EXPECT_EQ(readReply(r.b, soon()).error(), ERROR_INVALID_DATA);
    EXPECT_FALSE(decodeRequest(std::vector<uint8_t>(10, 0)));  // shorter than the fixed fields
    EXPECT_FALSE(decodeReply(std::vector<uint8_t>(3, 0)));
}

TEST(Wire, TruncatedAndSilentFramesEndInTime) {
    SocketPair t;
    uint8_t partial[6] = {100, 0, 0, 0, 1, 2};  // 100 bytes announced, 2 sent, then silence
    ASSERT_EQ(write(t.a, partial, 6), 6);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(readReply(t.b, soon()).error(), ERROR_TIMEOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

    SocketPair u;
    ASSERT_EQ(write(u.a, partial, 6), 6);
    close(u.a);
    u.a = -1;
    EXPECT_EQ(readReply(u.b, soon()).error(), ERROR_HANDLE_EOF);
}

TEST(Wire, AReplyHandsOverAWindowImageAndARequestHandsOverNothing) {
    auto image = SharedPixels::create(3, 2);
    ASSERT_TRUE(image);
    image->surface().fill(0x00FF00);
    OwnedFd shared = image->share();

    SocketPair s;
    Reply reply;
    ASSERT_EQ(writeFrame(s.a, encode(reply), soon(), shared.get()), ERROR_SUCCESS);
    auto got = readReply(s.b, soon());
    ASSERT_TRUE(got.ok());
    ASSERT_TRUE(got->fd.valid());
    auto pixels = SharedPixels::read(got->fd.get());
    ASSERT_TRUE(pixels.ok());
    EXPECT_EQ(pixels->pixel(2, 1), 0x00FF00u);

    // A descriptor pushed along with a request is dropped by the kernel, never installed.
    auto openFds = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); };
    const auto before = openFds();
    Request request;
    request.kind = RequestKind::Post;
    ASSERT_EQ(writeFrame(s.b, encode(request), soon(), shared.get()), ERROR_SUCCESS);
    auto plain = readRequest(s.a, soon());
    ASSERT_TRUE(plain.ok());
    EXPECT_EQ(plain->kind, RequestKind::Post);
    EXPECT_EQ(openFds(), before);
}
