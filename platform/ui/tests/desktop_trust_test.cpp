// Who may drive a head unit, and how much one peer can make a program hold.
//
// Part of it runs as another local user ("nobody"), as a hostile neighbour would: with every
// folder of the head unit opened wide to that user, it still can neither drive nor read a
// running program, find nothing of a window image it could open, and cannot plant a link that
// a program then writes through. Peers of the same user are trusted but bounded: many idle
// connections, huge announced frames and a flood of posted messages leave the program answering.

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/core/debug.h"
#include "platform/core/process.h"
#include "platform/core/profile.h"
#include "platform/core/registry.h"
#include "platform/core/testing/other_user.h"
#include "platform/ui/desktop.h"
#include "platform/ui/desktop_link.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "platform/ui/window_system.h"
#include "platform/ui/wire.h"
#include "sim/headunit/headunit.h"

extern char** environ;

using namespace ce;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

fs::path g_root;

// One head unit for the binary (a process joins one desktop), under a folder the other user
// can enter.
class TrustHeadUnit : public ::testing::Environment {
public:
    void SetUp() override {
        char pattern[] = "/tmp/ui-trust-XXXXXX";
        g_root = mkdtemp(pattern);
        sim::createHeadUnit(g_root);
        test::openPathToOtherUser(g_root.string());
        setenv("HEADUNIT_ROOT", g_root.c_str(), 1);
        Profile::setCurrent(g_root);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(g_root, ec);
    }
};

struct Peer {
    pid_t pid = 0;
    HWND hwnd = 0;
    std::string title;
};

std::string logOf(const std::string& title) {
    std::ifstream in(g_root / "run" / (title + ".log"));
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Peer startPeer(const std::string& title, std::vector<std::string> extra = {}) {
    std::string exe = std::string(HU_BIN_DIR) + "/ui_test_peer";
    std::vector<std::string> args{exe, title};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    Peer p;
    p.title = title;
    if (posix_spawn(&p.pid, exe.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return p;
    for (int i = 0; i < 500 && !p.hwnd; ++i) {
        p.hwnd = findWindow(title);
        if (!p.hwnd) std::this_thread::sleep_for(10ms);
    }
    for (int i = 0; i < 500 && logOf(title).rfind("ready", 0) != 0; ++i) std::this_thread::sleep_for(10ms);
    return p;
}

void stopPeer(Peer& p) {
    if (p.pid > 0) {
        kill(p.pid, SIGCONT);
        kill(p.pid, SIGKILL);
        waitpid(p.pid, nullptr, 0);
    }
    p.pid = 0;
}

// Opens every folder and file of the head unit to every user, as a careless person might.
void openEverything() {
    for (const auto& e : fs::recursive_directory_iterator(g_root)) {
        if (e.is_symlink()) continue;
        chmod(e.path().c_str(), e.is_directory() ? 0777 : 0666);
    }
    chmod(g_root.c_str(), 0777);
}

std::string lineStartingWith(const std::string& text, const std::string& start) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(start, 0) == 0) return line;
    return {};
}

// A connection to the desktop socket of a process of this head unit.
int connectTo(int pid) {
    std::error_code ec;
    DesktopLink link("hu-" + desktopHash(fs::weakly_canonical(g_root, ec).string()));
    const std::string name = link.socketName(pid);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, name.data(), name.size());
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr),
                static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

long residentKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

std::string readAll(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(DesktopTrust, AnotherUserCanNeitherDriveNorReadAProgramWhateverTheFolderModes) {
    if (!test::canBecomeOtherUser()) GTEST_SKIP() << "needs root to become another user";
    Peer peer = startPeer("TrustPeer", {"--rect", "10", "10", "110", "60"});
    ASSERT_NE(peer.hwnd, 0u);
    EXPECT_EQ(fs::status(g_root / "run" / "desktop").permissions() & fs::perms::all, fs::perms::owner_all)
        << "the desktop folder is private to its user";
    const UINT ping = registerWindowMessage("UI_TEST_PING");
    openEverything();  // the folder modes are no part of the defence
    auto intruder = test::runAsOtherUser(
        {std::string(HU_BIN_DIR) + "/desktop_intruder", peer.title, std::to_string(ping), std::to_string(peer.pid)});
    ASSERT_EQ(intruder.exitCode, 0) << intruder.output;
    const std::string& out = intruder.output;
    EXPECT_EQ(lineStartingWith(out, "found"), "found " + std::to_string(peer.hwnd)) << "the index itself is readable here";
    const std::string denied = std::to_string(ERROR_ACCESS_DENIED);
    EXPECT_EQ(lineStartingWith(out, "send"), "send 0 " + denied) << out;
    EXPECT_EQ(lineStartingWith(out, "post"), "post 0") << out;
    EXPECT_EQ(lineStartingWith(out, "describe"), "describe " + denied) << out;
    EXPECT_EQ(lineStartingWith(out, "capture"), "capture " + denied) << out;
    EXPECT_EQ(lineStartingWith(out, "pen"), "pen " + denied) << out;
    EXPECT_EQ(lineStartingWith(out, "raw"), "raw " + denied) << "refused before a byte of the frame is read";

    EXPECT_EQ(logOf(peer.title).find("ping 9"), std::string::npos) << "nothing reached the window";
    EXPECT_EQ(sendMessage(peer.hwnd, ping, 7, 0), 1007) << "its own user still drives it";
    auto programLog = readAll(g_root / "log" / "ui_test_peer.log");
    EXPECT_NE(programLog.find("user 65534 is not this program's user"), std::string::npos) << programLog;
    stopPeer(peer);
}

TEST(DesktopTrust, AWindowImageHasNoNameAndItsMemoryIsOutOfAnotherUsersReach) {
    if (!test::canBecomeOtherUser()) GTEST_SKIP() << "needs root to become another user";
    Peer peer = startPeer("ImagePeer", {"--color", "FF0000"});
    ASSERT_NE(peer.hwnd, 0u);
    auto own = captureWindow(peer.hwnd);
    ASSERT_TRUE(own.ok()) << "its own user captures it";
    EXPECT_EQ((*own)->pixel(5, 5), 0xFF0000u);

    const std::string proc = "/proc/" + std::to_string(peer.pid);
    std::error_code ec;
    const std::string prefix = "hu-" + desktopHash(fs::weakly_canonical(g_root, ec).string());
    auto outcome = test::asOtherUser([&] {
        int found = 0;
        // Nothing in shared memory to open, replace or plant in its place.
        if (DIR* shm = opendir("/dev/shm")) {
            while (dirent* e = readdir(shm))
                if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0) ++found;
            closedir(shm);
        }
        // And the program's own descriptors and mappings stay closed to this user.
        for (const char* sub : {"/fd", "/map_files"}) {
            if (DIR* d = opendir((proc + sub).c_str())) {
                ++found;
                closedir(d);
            }
        }
        if (int fd = open((proc + "/mem").c_str(), O_RDONLY); fd >= 0) {
            ++found;
            close(fd);
        }
        return found;
    });
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    stopPeer(peer);
}

TEST(DesktopTrust, LinksPlantedByAnotherUserAreNotWrittenThrough) {
    if (!test::canBecomeOtherUser()) GTEST_SKIP() << "needs root to become another user";
    // A second head unit (the log, locks and registry follow the current one; the desktop
    // stays the first), every folder of it writable by the other user.
    char pattern[] = "/tmp/ui-planted-XXXXXX";
    const fs::path root = mkdtemp(pattern);
    sim::createHeadUnit(root);
    test::openPathToOtherUser(root.string());
    for (const char* folder : {"run", "log"}) chmod((root / folder).c_str(), 0777);
    fs::create_directories(g_root / "run" / "desktop");
    chmod((g_root / "run" / "desktop").c_str(), 0777);

    // The victim: a file of root that the other user can neither read nor write.
    const fs::path victim = root / "victim";
    std::ofstream(victim) << "precious";
    chmod(victim.c_str(), 0600);

    const std::string program = fs::read_symlink("/proc/self/exe").filename().string();
    const std::vector<fs::path> planted = {
        root / "log" / (program + ".log"),        // every debug line
        root / "run" / "registry.lock",           // a registry write
        root / "run" / "TrustMutex.mutex",        // a named mutex
        g_root / "run" / "desktop" / "windows.lock",  // a window appearing on the desktop
    };
    auto outcome = test::asOtherUser([&] {
        for (const auto& link : planted) {
            ::unlink(link.c_str());
            if (::symlink(victim.c_str(), link.c_str()) != 0) return 1;
        }
        return 0;
    });
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;

    setenv("HEADUNIT_ROOT", root.c_str(), 1);
    Profile::setCurrent(root);
    debugPrint("a line for the log\n");
    EXPECT_FALSE(NamedMutex::create("TrustMutex").ok());
    auto key = RegKey::create(Hive::LocalMachine, "SOFTWARE\\Trust");
    EXPECT_FALSE(key && key->setDword("Planted", 1) == ERROR_SUCCESS);
    Window w;
    w.create({"TrustOwn", "TrustOwn", WS_POPUP, 0, {0, 0, 10, 10}, 0, 0});
    w.destroy();
    setenv("HEADUNIT_ROOT", g_root.c_str(), 1);
    Profile::setCurrent(g_root);

    EXPECT_EQ(readAll(victim), "precious");
    for (const auto& link : planted) {
        EXPECT_TRUE(fs::is_symlink(link)) << link << " is still the planted link";
        fs::remove(link);
    }
    std::error_code ec;
    fs::remove_all(root, ec);
}

TEST(DesktopBounds, IdleConnectionsAndHugeFramesLeaveTheProgramAnswering) {
    Peer peer = startPeer("BoundsPeer");
    ASSERT_NE(peer.hwnd, 0u);
    const long before = residentKiB(peer.pid);
    const UINT ping = registerWindowMessage("UI_TEST_PING");

    // Frames that announce a gigabyte: refused before anything is allocated.
    for (int i = 0; i < 8; ++i) {
        int fd = connectTo(peer.pid);
        ASSERT_GE(fd, 0);
        Request r;
        r.kind = RequestKind::Send;
        r.msg = WM_COPYDATA;
        std::vector<uint8_t> frame = encode(r);
        frame[3] = 0x40;  // 1 GiB and more
        ASSERT_EQ(send(fd, frame.data(), frame.size(), MSG_NOSIGNAL), static_cast<ssize_t>(frame.size()));
        auto reply = readReply(fd, std::chrono::steady_clock::now() + 5s);
        ASSERT_TRUE(reply.ok());
        EXPECT_EQ(reply->status, ERROR_INVALID_DATA);
        close(fd);
    }
    EXPECT_LT(residentKiB(peer.pid) - before, 64 * 1024) << "nothing near a gigabyte was allocated";

    // More idle connections than one peer may hold: the excess is refused at once.
    std::vector<int> idle;
    int refused = 0;
    for (int i = 0; i < DesktopLink::MAX_CONNECTIONS_PER_PEER + 8; ++i) {
        int fd = connectTo(peer.pid);
        ASSERT_GE(fd, 0);
        idle.push_back(fd);
    }
    for (int fd : idle) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 200) == 1) {
            auto reply = readReply(fd, std::chrono::steady_clock::now() + 1s);
            if (reply.ok() && reply->status == ERROR_BUSY) ++refused;
        }
    }
    // Slots of the connections above may still be on their way back.
    EXPECT_GE(refused, 8);
    EXPECT_LT(refused, static_cast<int>(idle.size())) << "the first ones are served";

    // Another process is served meanwhile: the program still answers.
    pid_t child = fork();
    if (child == 0) {
        // A fresh process: no threads or locks of the parent matter to a raw request.
        int fd = connectTo(peer.pid);
        Request r;
        r.kind = RequestKind::Send;
        r.hwnd = peer.hwnd;
        r.msg = ping;
        r.wParam = 5;
        if (fd < 0 || writeFrame(fd, encode(r), std::chrono::steady_clock::now() + 5s)) _exit(2);
        auto reply = readReply(fd, std::chrono::steady_clock::now() + 5s);
        _exit(reply.ok() && reply->status == 0 && reply->result == 1005 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int fd : idle) close(fd);
    EXPECT_EQ(sendMessage(peer.hwnd, ping, 6, 0), 1006);
    EXPECT_NE(readAll(g_root / "log" / "ui_test_peer.log").find("too many requests at once"), std::string::npos);
    stopPeer(peer);
}

TEST(DesktopBounds, AFloodOfPostedMessagesIsCappedAndTheProgramStillAnswers) {
    Peer peer = startPeer("FloodPeer");
    ASSERT_NE(peer.hwnd, 0u);
    const UINT ping = registerWindowMessage("UI_TEST_PING");
    // Its thread is held until the release file appears, so the flood piles up.
    ASSERT_TRUE(postMessage(peer.hwnd, registerWindowMessage("UI_TEST_HOLD"), 0, 0));
    size_t accepted = 0, refused = 0;
    for (size_t i = 0; i < MessageQueue::MAX_WAITING + 100; ++i) (postMessage(peer.hwnd, WM_NULL, 0, 0) ? accepted : refused)++;
    std::ofstream(g_root / "run" / (peer.title + ".release")) << "go";
    EXPECT_EQ(accepted, MessageQueue::MAX_WAITING);
    EXPECT_EQ(refused, 100u);
    LRESULT answer = 0;
    EXPECT_TRUE(sendMessageTimeout(peer.hwnd, ping, 2, 0, 20000, &answer));
    EXPECT_EQ(answer, 1002) << "answered once the queue has drained";
    EXPECT_NE(readAll(g_root / "log" / "ui_test_peer.log").find("message queue full"), std::string::npos);
    stopPeer(peer);
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new TrustHeadUnit);
    return RUN_ALL_TESTS();
}
