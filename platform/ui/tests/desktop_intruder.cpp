// A program of another local user that tries to reach a head unit's windows, started by the
// desktop's trust tests. It tries every way a window is driven or read through the desktop,
// and one the platform would never take (a raw frame that announces a gigabyte), and prints
// one line per attempt with what came of it, for the test to judge:
//
//   desktop_intruder TITLE PING_MESSAGE PID
//
//   found HWND | not-found
//   send RESULT ERROR          sendMessage(ping)
//   post 0|1                   postMessage(ping)
//   describe ERROR             describeControls
//   capture ERROR              captureWindow
//   pen ERROR                  injectPen on the window
//   raw STATUS|closed          a request frame announcing 1 GiB, straight to PID's socket

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/core/profile.h"
#include "platform/ui/desktop.h"
#include "platform/ui/desktop_link.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "platform/ui/window_system.h"
#include "platform/ui/wire.h"

using namespace ce;

namespace {

// What a process of the head unit answers to a connection that announces a huge request.
std::string rawAttempt(int pid) {
    auto profile = Profile::current();
    if (!profile) return "no-head-unit";
    std::error_code ec;
    auto root = std::filesystem::weakly_canonical((*profile)->root(), ec);
    DesktopLink link("hu-" + desktopHash(root.string()));
    const std::string name = link.socketName(pid);

    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, name.data(), std::min(name.size(), sizeof addr.sun_path - 2));
    socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + std::min(name.size(), sizeof addr.sun_path - 2));
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        close(fd);
        return "no-socket";
    }
    Request r;
    r.kind = RequestKind::Send;
    r.msg = WM_COPYDATA;
    std::vector<uint8_t> frame = encode(r);
    const uint32_t announced = 1u << 30;
    for (int i = 0; i < 4; ++i) frame[static_cast<size_t>(i)] = static_cast<uint8_t>(announced >> (8 * i));
    send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
    auto reply = readReply(fd, std::chrono::steady_clock::now() + std::chrono::seconds(5));
    close(fd);
    return reply.ok() ? std::to_string(reply->status) : "closed";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: desktop_intruder TITLE PING_MESSAGE PID\n");
        return 2;
    }
    const std::string title = argv[1];
    const UINT ping = static_cast<UINT>(std::strtoul(argv[2], nullptr, 0));
    const int pid = std::atoi(argv[3]);

    HWND hwnd = findWindow(title);
    if (hwnd) std::printf("found %u\n", hwnd);
    else std::printf("not-found\n");
    if (hwnd) {
        LRESULT result = sendMessage(hwnd, ping, 99, 0);
        std::printf("send %lld %u\n", static_cast<long long>(result), lastSendError());
        std::printf("post %d\n", postMessage(hwnd, ping, 98, 0) ? 1 : 0);
        std::printf("describe %u\n", describeControls(hwnd).error());
        std::printf("capture %u\n", captureWindow(hwnd).error());
        Rect rect{};
        getWindowRect(hwnd, &rect);
        std::printf("pen %u\n", injectPen(Point{rect.left + 1, rect.top + 1}, PenAction::Tap));
    }
    std::printf("raw %s\n", rawAttempt(pid).c_str());
    return 0;
}
