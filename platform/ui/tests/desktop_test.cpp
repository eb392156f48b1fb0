// The desktop across processes: other programs of the same head unit, started as real
// processes, found by title and program, sent messages and WM_COPYDATA, broadcast to (hidden
// ones too), captured, and given up on when they die or hang. The head unit lies in a deep
// folder, deeper than a socket address can hold.

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string_view>
#include <thread>

#include "platform/core/paths.h"
#include "platform/core/profile.h"
#include "platform/gfx/surface.h"
#include "platform/ui/desktop.h"
#include "platform/ui/desktop_changes.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "sim/headunit/headunit.h"

extern char** environ;

using namespace ce;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

fs::path g_root;

class DeepHeadUnit : public ::testing::Environment {
public:
    void SetUp() override {
        char pattern[] = "/tmp/ui-desktop-XXXXXX";
        fs::path base = mkdtemp(pattern);
        g_root = base;
        for (int i = 0; i < 6; ++i) g_root /= "a-rather-long-folder-name-to-pass-108-bytes";
        sim::createHeadUnit(g_root);
        setenv("HEADUNIT_ROOT", g_root.c_str(), 1);
        Profile::setCurrent(g_root);
        base_ = base;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(base_, ec);
    }

private:
    fs::path base_;
};

struct Peer {
    pid_t pid = 0;
    HWND hwnd = 0;
    std::string title;
};

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
    for (int i = 0; i < 3000 && !p.hwnd; ++i) {
        p.hwnd = findWindow(title);
        if (!p.hwnd) std::this_thread::sleep_for(10ms);
    }
    // The window is listed once created; wait until its message loop runs.
    for (int i = 0; i < 3000; ++i) {
        std::ifstream in(g_root / "run" / (title + ".log"));
        std::string line;
        if (std::getline(in, line) && line == "ready") break;
        std::this_thread::sleep_for(10ms);
    }
    return p;
}

void stopPeer(Peer& p) {
    if (p.pid > 0) {
        kill(p.pid, SIGCONT);
        kill(p.pid, SIGKILL);
        waitpid(p.pid, nullptr, 0);
    }
    p.pid = 0;
    std::error_code ec;
    fs::remove(g_root / "run" / (p.title + ".log"), ec);
}

std::string logOf(const Peer& p) {
    std::ifstream in(g_root / "run" / (p.title + ".log"));
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Waits (generously) until the peer's log holds every line.
bool logShows(const Peer& p, std::initializer_list<std::string_view> lines) {
    for (int i = 0; i < 3000; ++i) {
        const std::string log = logOf(p);
        bool all = true;
        for (auto line : lines) all = all && log.find(line) != std::string::npos;
        if (all) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

}  // namespace

TEST(Desktop, SendWithReplyAndCopyDataReachAnotherProcess) {
    Peer a = startPeer("PeerSend");
    ASSERT_NE(a.hwnd, 0u);
    UINT ping = registerWindowMessage("ui_test_ping");  // same atom in both processes
    EXPECT_EQ(sendMessage(a.hwnd, ping, 41, 0), 1041);

    std::string bytes = "guidance\x01\x02";
    CopyDataStruct cds{1198, static_cast<uint32_t>(bytes.size()), bytes.data()};
    LRESULT expected = 1198 + static_cast<LRESULT>(bytes.size()) * 65536;
    for (unsigned char c : bytes) expected += c;
    EXPECT_EQ(sendMessage(a.hwnd, WM_COPYDATA, 0x55, reinterpret_cast<LPARAM>(&cds)), expected);
    EXPECT_NE(logOf(a).find("copydata 85 guidance\x01\x02"), std::string::npos);

    // Messages whose parameters are pointers never cross: the receiver would follow a foreign address.
    EXPECT_EQ(sendMessage(a.hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("x")), 0);
    EXPECT_EQ(lastSendError(), ERROR_INVALID_PARAMETER);
    // A posted message crosses too. Sent messages go ahead of posted ones in the receiver's
    // queue, so a post followed by a send may be handled in either order: wait for both.
    EXPECT_TRUE(postMessage(a.hwnd, ping, 7, 0));
    EXPECT_EQ(sendMessage(a.hwnd, ping, 8, 0), 1008);
    EXPECT_TRUE(logShows(a, {"ping 7\n", "ping 8\n"})) << logOf(a);
    stopPeer(a);
}

TEST(Desktop, BroadcastReachesEveryTopLevelWindowOfEveryProcess) {
    Peer a = startPeer("PeerOne");
    Peer b = startPeer("PeerTwo", {"--hidden"});
    ASSERT_NE(a.hwnd, 0u);
    ASSERT_NE(b.hwnd, 0u);
    // One of ours too, on another thread than the broadcaster.
    std::atomic<int> ours{0};
    std::atomic<bool> stop{false};
    std::atomic<HWND> mine{0};
    UINT ping = registerWindowMessage("UI_TEST_PING");
    std::thread ui([&] {
        Window w;
        w.on(ping, [&](WPARAM, LPARAM) -> LRESULT { return ++ours; });
        w.create({"Own", "own", WS_POPUP, 0, {0, 0, 10, 10}, 0, 0});
        mine = w.hwnd();
        while (!stop) waitMessage(10) && peekMessage(nullptr, 0, 0, 0, PM_REMOVE);
    });
    while (!mine) std::this_thread::sleep_for(1ms);

    sendMessage(HWND_BROADCAST, ping, 5, 0);
    // Returned only after every window handled it.
    EXPECT_NE(logOf(a).find("ping 5"), std::string::npos);
    EXPECT_NE(logOf(b).find("ping 5"), std::string::npos);
    EXPECT_EQ(ours, 1);
    stop = true;
    ui.join();
    stopPeer(a);
    stopPeer(b);
}

TEST(Desktop, DeadOrHungPeerDoesNotBlockABroadcast) {
    Peer alive = startPeer("PeerAlive");
    Peer dead = startPeer("PeerDead");
    ASSERT_NE(dead.hwnd, 0u);
    kill(dead.pid, SIGKILL);
    waitpid(dead.pid, nullptr, 0);
    UINT ping = registerWindowMessage("UI_TEST_PING");

    // A dead process's socket is gone, so it is skipped at once; the broadcast returns only
    // after the living one has handled it.
    sendMessage(HWND_BROADCAST, ping, 11, 0);
    EXPECT_NE(logOf(alive).find("ping 11"), std::string::npos);
    EXPECT_EQ(findWindow("PeerDead"), 0u) << "entries of dead processes are dropped";
    EXPECT_EQ(sendMessage(dead.hwnd, ping, 1, 0), 0);
    EXPECT_EQ(lastSendError(), ERROR_INVALID_HANDLE);

    Peer hung = startPeer("PeerHung");
    ASSERT_NE(hung.hwnd, 0u);
    kill(hung.pid, SIGSTOP);
    // A stopped process accepts the connection but never answers: the broadcast gives up on
    // it after the bound (never before) and still reaches the others.
    auto start = std::chrono::steady_clock::now();
    sendMessage(HWND_BROADCAST, ping, 12, 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(SEND_TIMEOUT_MS));
    EXPECT_NE(logOf(alive).find("ping 12"), std::string::npos);
    EXPECT_EQ(sendMessage(hung.hwnd, ping, 1, 0), 0);
    EXPECT_EQ(lastSendError(), ERROR_TIMEOUT);
    stopPeer(hung);
    stopPeer(alive);
    stopPeer(dead);
}

TEST(Desktop, WindowsAreFoundByTitleAndProgramAndBroughtToTheFront) {
    Peer a = startPeer("PeerFind", {"--rect", "0", "0", "100", "100"});
    Peer b = startPeer("PeerOther", {"--rect", "0", "0", "100", "100"});
    ASSERT_NE(a.hwnd, 0u);
    EXPECT_EQ(findWindow("PeerFind"), a.hwnd);
    EXPECT_EQ(findWindow("peerfind"), 0u) << "titles compare exactly";
    std::string program = devicePathOf(fs::path(HU_BIN_DIR) / "ui_test_peer");
    HWND byProgram = findProgramWindow(program);
    EXPECT_TRUE(byProgram == a.hwnd || byProgram == b.hwnd);

    ASSERT_TRUE(setForegroundWindow(a.hwnd));
    EXPECT_EQ(getForegroundWindow(), a.hwnd);
    auto list = enumTopLevelWindows();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.front().hwnd, a.hwnd);
    EXPECT_EQ(list.front().pid, a.pid);
    EXPECT_EQ(findProgramWindow(program), a.hwnd) << "the front one of the program";
    stopPeer(a);
    stopPeer(b);
}

TEST(Desktop, ScreenCaptureComposesWindowsOfSeveralProcessesInZOrder) {
    Peer red = startPeer("PeerRed", {"--color", "FF0000", "--rect", "0", "0", "200", "200"});
    Peer green = startPeer("PeerGreen", {"--color", "00FF00", "--rect", "100", "100", "300", "300"});
    Peer hidden = startPeer("PeerBlue", {"--color", "0000FF", "--rect", "0", "0", "800", "480", "--hidden"});
    ASSERT_NE(green.hwnd, 0u);
    ASSERT_TRUE(setForegroundWindow(green.hwnd));
    auto screen = captureScreen();
    ASSERT_TRUE(screen.ok());
    EXPECT_EQ((*screen)->width(), 800);
    EXPECT_EQ((*screen)->pixel(50, 50), 0xFF0000u);
    EXPECT_EQ((*screen)->pixel(150, 150), 0x00FF00u) << "green is in front";
    EXPECT_EQ((*screen)->pixel(500, 400), 0u) << "the hidden window does not show";
    ASSERT_TRUE(setForegroundWindow(red.hwnd));
    screen = captureScreen();
    EXPECT_EQ((*screen)->pixel(150, 150), 0xFF0000u);
    auto one = captureWindow(hidden.hwnd);
    ASSERT_TRUE(one.ok());
    EXPECT_EQ((*one)->pixel(10, 10), 0x0000FFu);
    stopPeer(red);
    stopPeer(green);
    stopPeer(hidden);
}

TEST(Desktop, InputIsRoutedToTheProcessOwningTheWindowUnderThePen) {
    Peer a = startPeer("PeerPen", {"--rect", "400", "300", "500", "400"});
    ASSERT_NE(a.hwnd, 0u);
    ASSERT_TRUE(setForegroundWindow(a.hwnd));
    EXPECT_EQ(injectPen({450, 350}, PenAction::Tap), ERROR_SUCCESS);
    EXPECT_EQ(injectPen({799, 479}, PenAction::Tap), ERROR_INVALID_HANDLE) << "nothing there";
    auto controls = describeControls(a.hwnd);
    ASSERT_TRUE(controls.ok());
    ASSERT_EQ(controls->size(), 1u);
    EXPECT_EQ(controls->front().text, "PeerPen");
    EXPECT_EQ(getWindowText(a.hwnd), "PeerPen");
    stopPeer(a);
}

// A pen put down stays with its window until it is lifted: its moves and its lift reach that
// window (another program's process) wherever they happen, even over another window, while
// the window holds no capture of its own. With the pen up a move goes nowhere.
TEST(Desktop, ThePenBelongsToTheWindowThatTookItDownUntilItIsLifted) {
    Peer held = startPeer("PeerHeld", {"--rect", "400", "300", "500", "400"});
    Peer other = startPeer("PeerOther", {"--rect", "0", "0", "200", "100"});
    ASSERT_NE(held.hwnd, 0u);
    ASSERT_NE(other.hwnd, 0u);
    EXPECT_EQ(injectPen({450, 350}, PenAction::Down), ERROR_SUCCESS);
    EXPECT_EQ(injectPen({100, 50}, PenAction::Move), ERROR_SUCCESS);  // over the other window
    EXPECT_EQ(injectPen({799, 479}, PenAction::Up), ERROR_SUCCESS);   // over nothing at all
    EXPECT_TRUE(logShows(held, {"pen down 50 50 1\npen move -300 -250 1\npen up 399 179 0\n"})) << logOf(held);
    EXPECT_EQ(injectPen({450, 350}, PenAction::Move), ERROR_INVALID_HANDLE) << "the pen is up";
    EXPECT_EQ(injectPen({100, 50}, PenAction::Tap), ERROR_SUCCESS);
    EXPECT_TRUE(logShows(other, {"pen down 100 50 1\npen up 100 50 0\n"})) << logOf(other);
    const std::string heldLog = logOf(held);
    EXPECT_EQ(heldLog.find("pen", heldLog.find("pen up") + 1), std::string::npos) << heldLog;
    stopPeer(held);
    stopPeer(other);
}

// What a live view of the screen waits on: a window drawn anew (its image is ready when the
// notification comes), a window created, and a program that dies without a word.
TEST(Desktop, ChangesWakeAFollowerForImagesWindowsAndProgramEnds) {
    auto changes = DesktopChanges::open();
    ASSERT_TRUE(changes.ok());
    auto quiet = [&] {
        for (int i = 0; i < 100 && (*changes)->wait(200);) ++i;
    };
    quiet();
    Peer a = startPeer("PeerChanges", {"--color", "112233", "--rect", "0", "0", "100", "100"});
    ASSERT_NE(a.hwnd, 0u);
    EXPECT_TRUE((*changes)->wait(10000)) << "a new window";
    quiet();

    const UINT repaint = registerWindowMessage("UI_TEST_REPAINT");
    ASSERT_TRUE(postMessage(a.hwnd, repaint, 0xA0B0C0, 0));
    // Other changes of the desktop may come first; the repaint's own notification must come,
    // and only after the image holds it (else the last wake would still see the old colour).
    uint32_t seen = 0;
    for (int i = 0; i < 50 && seen != 0xA0B0C0u && (*changes)->wait(10000); ++i) {
        auto image = captureWindow(a.hwnd);
        ASSERT_TRUE(image.ok());
        seen = (*image)->pixel(50, 50);
    }
    EXPECT_EQ(seen, 0xA0B0C0u) << "a window drawn anew wakes the follower once its image holds the drawing";
    quiet();

    ::kill(a.pid, SIGKILL);
    EXPECT_TRUE((*changes)->wait(10000)) << "a program that died";
    stopPeer(a);
}

// Composing makes a system call only to wake a follower that waits: while nobody waits, images
// are counted without a write to the desktop's folder, and the next wait sees them at once.
// One image wakes every follower that waits.
TEST(Desktop, ChangesAreCountedQuietlyWhileNobodyWaitsAndWakeEveryFollower) {
    auto first = DesktopChanges::open();
    auto second = DesktopChanges::open();
    ASSERT_TRUE(first.ok() && second.ok());
    Peer a = startPeer("PeerCounted", {"--color", "112233", "--rect", "0", "0", "50", "50"});
    ASSERT_NE(a.hwnd, 0u);
    for (auto* changes : {&*first, &*second})
        for (int i = 0; i < 100 && (*changes)->wait(200);) ++i;

    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, (fs::path(desktopFolder()) / "changes").c_str(), IN_MODIFY), 0);
    const auto writes = [&] {
        int events = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;)
            for (char* p = buffer; p < buffer + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len)
                ++events;
        return events;
    };
    const UINT repaint = registerWindowMessage("UI_TEST_REPAINT");
    // Both followers are waiting now (their flag is up): the first image writes once.
    sendMessage(a.hwnd, repaint, 0x102030, 0);
    EXPECT_EQ(writes(), 1) << "an image composed while followers wait wakes them";
    for (uint32_t colour : {0x203040u, 0x304050u, 0x405060u})
        sendMessage(a.hwnd, repaint, colour, 0);
    EXPECT_EQ(writes(), 0) << "images composed while nobody waits are only counted";
    EXPECT_TRUE((*first)->wait(0)) << "the counted images are a change at once";
    EXPECT_TRUE((*second)->wait(0));
    auto image = captureWindow(a.hwnd);
    ASSERT_TRUE(image.ok());
    EXPECT_EQ((*image)->pixel(10, 10), 0x405060u);

    // Both sleep; one image wakes both.
    for (auto* changes : {&*first, &*second})
        for (int i = 0; i < 100 && (*changes)->wait(50);) ++i;
    std::atomic<int> woken{0};
    std::thread one([&] { woken += (*first)->wait(10000); });
    std::thread other([&] { woken += (*second)->wait(10000); });
    std::this_thread::sleep_for(100ms);
    sendMessage(a.hwnd, repaint, 0x506070, 0);
    one.join();
    other.join();
    EXPECT_EQ(woken, 2);
    ::close(watch);
    stopPeer(a);
}

// The "changes" file cut short by hand must not bring the programs down: they go on drawing
// and answering, only without announcing their images.
TEST(Desktop, ACutShortChangesFileLeavesTheProgramsRunning) {
    auto changes = DesktopChanges::open();  // this process maps the file as well
    ASSERT_TRUE(changes.ok());
    Peer a = startPeer("PeerCut", {"--color", "112233", "--rect", "0", "0", "50", "50"});
    ASSERT_NE(a.hwnd, 0u);
    fs::resize_file(fs::path(desktopFolder()) / "changes", 0);
    sendMessage(a.hwnd, registerWindowMessage("UI_TEST_REPAINT"), 0x405060, 0);
    (*changes)->wait(0);
    int status = 0;
    EXPECT_EQ(::waitpid(a.pid, &status, WNOHANG), 0) << "the program still runs";
    auto image = captureWindow(a.hwnd);
    ASSERT_TRUE(image.ok());
    EXPECT_EQ((*image)->pixel(10, 10), 0x405060u) << "and has drawn";
    stopPeer(a);
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new DeepHeadUnit);
    return RUN_ALL_TESTS();
}
