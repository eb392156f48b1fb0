// Frames between processes: what is sent arrives whole, and what a broken or hostile peer
// sends is refused without waiting forever or reading past the bytes.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/ui/shared_pixels.h"
#include "platform/ui/wire.h"

using namespace ce;
using namespace std::chrono_literals;

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

}  // namespace

TEST(Wire, RequestAndReplyCrossASocketWhole) {
    SocketPair s;
    Request r;
    r.kind = RequestKind::Send;
    r.hwnd = 0x10002;
    r.msg = 0xC001;
    r.wParam = 0x8000;
    r.lParam = -5;
    r.senderPid = 77;
    r.payload.assign(300000, 0xAB);  // larger than a socket buffer: written while read
    std::thread writer([&] { EXPECT_EQ(writeFrame(s.a, encode(r), soon()), ERROR_SUCCESS); });
    auto body = readFrame(s.b, soon());
    writer.join();
    ASSERT_TRUE(body.ok());
    auto back = decodeRequest(*body);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->hwnd, r.hwnd);
    EXPECT_EQ(back->msg, r.msg);
    EXPECT_EQ(back->wParam, r.wParam);
    EXPECT_EQ(back->lParam, -5);
    EXPECT_EQ(back->payload, r.payload);

    Reply reply{0, -1, {1, 2, 3}};
    ASSERT_EQ(writeFrame(s.b, encode(reply), soon()), ERROR_SUCCESS);
    auto replyBody = readFrame(s.a, soon());
    ASSERT_TRUE(replyBody.ok());
    auto decoded = decodeReply(*replyBody);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->result, -1);
    EXPECT_EQ(decoded->payload, (std::vector<uint8_t>{1, 2, 3}));
}

TEST(Wire, BrokenFramesAreRefused) {
    EXPECT_FALSE(decodeRequest(std::vector<uint8_t>(10, 0)));  // shorter than the fixed fields
    EXPECT_FALSE(decodeReply(std::vector<uint8_t>(3, 0)));

    SocketPair s;
    uint8_t huge[4] = {0xFF, 0xFF, 0xFF, 0x7F};  // announces 2 GiB
    ASSERT_EQ(write(s.a, huge, 4), 4);
    EXPECT_EQ(readFrame(s.b, soon()).error(), ERROR_INVALID_DATA);

    SocketPair t;
    uint8_t partial[6] = {100, 0, 0, 0, 1, 2};  // 100 bytes announced, 2 sent, then silence
    ASSERT_EQ(write(t.a, partial, 6), 6);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(readFrame(t.b, soon()).error(), ERROR_TIMEOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

    SocketPair u;
    ASSERT_EQ(write(u.a, partial, 6), 6);
    close(u.a);
    u.a = -1;
    EXPECT_EQ(readFrame(u.b, soon()).error(), ERROR_HANDLE_EOF);
}

TEST(Wire, PublishedPixelsAreReadBackOnlyWhenTheFileHoldsThem) {
    std::string path = "/tmp/ui-pixels-" + std::to_string(getpid());
    {
        auto p = SharedPixels::create(path, 4, 3);
        ASSERT_TRUE(p);
        p->surface().fill(0x123456);
        auto read = SharedPixels::read(path);
        ASSERT_TRUE(read.ok());
        EXPECT_EQ(read->width(), 4);
        EXPECT_EQ(read->pixel(3, 2), 0x123456u);
        ASSERT_TRUE(p->resize(2, 2));
        EXPECT_EQ(SharedPixels::read(path)->width(), 2);
        // A file whose header promises more than it holds (a resize caught halfway).
        ASSERT_EQ(truncate(path.c_str(), 20), 0);
        EXPECT_EQ(SharedPixels::read(path).error(), ERROR_INVALID_DATA);
    }
    EXPECT_EQ(SharedPixels::read(path).error(), ERROR_FILE_NOT_FOUND) << "removed with its window";
}
