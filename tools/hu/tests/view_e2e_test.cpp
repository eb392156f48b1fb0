// `hu view` on an X server of its own (Xvfb, started here): the window shows exactly what the
// desktop composes, a click in it presses a program's button, it outlives the program, and a
// double click, a key and a drag reach a program that shows them. A session without a display
// gets one line and exit status 1.

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "platform/core/profile.h"
#include "platform/gfx/surface.h"
#include "platform/ui/desktop.h"
#include "platform/ui/window.h"
#include "sim/headunit/headunit.h"
#include "tools/hu/demo/child_processes.h"

namespace hu::demo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kHu = std::string(HU_BIN_DIR) + "/hu";

template <typename Condition>
bool eventually(Condition condition, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// The first top-level window whose name starts with `prefix`; 0 when none.
Window findWindow(Display* display, const std::string& prefix, std::string* name = nullptr) {
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        XTextProperty text;
        if (XGetWMName(display, children[i], &text) && text.value) {
            const std::string title(reinterpret_cast<const char*>(text.value), text.nitems);
            if (title.rfind(prefix, 0) == 0) {
                found = children[i];
                if (name) *name = title;
            }
            XFree(text.value);
        }
    }
    if (children) XFree(children);
    return found;
}

// How many pixels of the X window differ from the picture (-1: the window cannot be read).
long differingPixels(Display* display, Window window, const ce::Surface& picture) {
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(picture.width()),
                              static_cast<unsigned>(picture.height()), AllPlanes, ZPixmap);
    if (!image) return -1;
    long differ = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            differ += (XGetPixel(image, x, y) & 0xFFFFFF) != picture.pixel(x, y) ? 1 : 0;
    XDestroyImage(image);
    return differ;
}

// A window that went meanwhile is no reason to end the test: the calls that touched it fail.
int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

class View : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists("/usr/bin/Xvfb")) GTEST_SKIP() << "Xvfb is not installed (scripts/setup installs it)";
        char pattern[] = "/tmp/hu-view-test-XXXXXX";
        work_ = ::mkdtemp(pattern);
        unit_ = work_ / "unit";
        sim::createHeadUnit(unit_, sim::HeadUnitOptions{});
        ::setenv("HEADUNIT_ROOT", unit_.c_str(), 1);
        ce::Profile::setCurrent(unit_);
        // A display number of this test's own; the server says it is ready by its socket.
        const int number = 200 + ::getpid() % 700;
        display_ = ":" + std::to_string(number);
        children_.start("Xvfb", {"/usr/bin/Xvfb", display_, "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, work_ / "xvfb.out");
        ASSERT_TRUE(eventually([&] { return fs::exists("/tmp/.X11-unix/X" + std::to_string(number)); }, 30s));
        ASSERT_TRUE(eventually([&] { return (x_ = XOpenDisplay(display_.c_str())) != nullptr; }, 30s));
        XSetErrorHandler(ignoreXErrors);
    }
    void TearDown() override {
        if (x_) XCloseDisplay(x_);
        children_.stopAll(3s);
        std::error_code ec;
        if (!work_.empty()) fs::remove_all(work_, ec);
    }

    std::string Text(const std::string& file) const {
        std::ifstream in(work_ / file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path work_, unit_;
    std::string display_;
    Display* x_ = nullptr;
    ChildProcesses children_;
};

TEST_F(View, ShowsWhatTheDesktopComposesAndTheMouseIsThePen) {
    // The view first, on an empty screen: it must take the program that comes later.
    ::setenv("DISPLAY", display_.c_str(), 1);
    children_.start("view", {kHu, "view", unit_.string()}, work_ / "view.out");
    Window view = 0;
    ASSERT_TRUE(eventually([&] { return (view = findWindow(x_, "hu view: ")) != 0 || children_.exitCode("view"); }, 60s));
    ASSERT_NE(view, 0u) << Text("view.out");

    // The panel installer: it installs from its package and then shows its Exit button.
    ASSERT_EQ(std::system((kHu + " package " + unit_.string() + " --without osver,micomver,btver,tcboot,kernel,logo,"
                                 "option,sflash,micom,bt,vrdb > " + (work_ / "package.out").string() + " 2>&1").c_str()), 0)
        << Text("package.out");
    children_.start("installer", {(unit_ / "sdcard/UpdateXan/ZEK_Update/ZEK_Update.exe").string()}, work_ / "installer.out");
    ce::HWND page = 0;
    ce::ControlState exit;
    ASSERT_TRUE(eventually(
        [&] {
            page = ce::findWindow("ZEK_UPDATE");
            auto controls = page ? ce::describeControls(page) : ce::Result<std::vector<ce::ControlState>>(ce::fail(1));
            if (!controls.ok()) return false;
            for (const auto& c : *controls)
                if (c.id == 1002 && c.visible) exit = c;
            return exit.visible;
        },
        120s))
        << Text("installer.out");

    // The window shows the composed screen, pixel for pixel, and names the program in front.
    long differ = -1;
    EXPECT_TRUE(eventually(
        [&] {
            auto screen = ce::captureScreen();
            view = findWindow(x_, "hu view: ");
            differ = screen.ok() ? differingPixels(x_, view, **screen) : -1;
            return differ == 0;
        },
        30s))
        << differ << " pixels differ";
    std::string title;
    EXPECT_TRUE(eventually([&] { return findWindow(x_, "hu view: ", &title) && title.find("ZEK_Update") != std::string::npos; }, 30s))
        << title;

    // A click on Exit, where the view shows it, ends the installer.
    ce::Rect pageRect;
    ASSERT_TRUE(ce::getWindowRect(page, &pageRect));
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(x_, view, DefaultRootWindow(x_), pageRect.left + (exit.rect.left + exit.rect.right) / 2,
                          pageRect.top + (exit.rect.top + exit.rect.bottom) / 2, &x, &y, &child);
    XTestFakeMotionEvent(x_, DefaultScreen(x_), x, y, CurrentTime);
    XTestFakeButtonEvent(x_, 1, True, CurrentTime);
    XTestFakeButtonEvent(x_, 1, False, CurrentTime);
    XFlush(x_);
    EXPECT_TRUE(children_.waitExit("installer", 30s).has_value()) << "Exit was not pressed";

    // The view goes on without the program: an empty, black screen.
    EXPECT_FALSE(children_.exitCode("view").has_value()) << Text("view.out");
    const ce::Surface black(800, 480, 0);
    EXPECT_TRUE(eventually([&] { return differingPixels(x_, view, black) == 0; }, 30s));

    // A program that notes every pen and key message it gets (in its own coordinates) and
    // changes colour for a double tap, a key and a pen moved while down.
    children_.start("peer", {std::string(HU_BIN_DIR) + "/ui_test_peer", "ViewPeer", "--rect", "100", "100", "300", "200"},
                    work_ / "peer.out");
    ASSERT_TRUE(eventually([&] { return Text("unit/run/ViewPeer.log").find("ready\n") != std::string::npos; }, 60s))
        << Text("peer.out");
    ce::setForegroundWindow(ce::findWindow("ViewPeer"));
    // Whether the view, read back from the X server, shows the screen with this colour at (200, 150).
    auto showsColour = [&](uint32_t colour) {
        return eventually(
            [&] {
                auto screen = ce::captureScreen();
                return screen.ok() && (*screen)->pixel(200, 150) == colour && differingPixels(x_, view, **screen) == 0;
            },
            30s);
    };
    EXPECT_TRUE(showsColour(0x808080));
    auto mouseTo = [&](int screenX, int screenY) {
        XTranslateCoordinates(x_, view, DefaultRootWindow(x_), screenX, screenY, &x, &y, &child);
        XTestFakeMotionEvent(x_, DefaultScreen(x_), x, y, CurrentTime);
    };
    auto peerShows = [&](const std::string& lines) {
        return eventually([&] { return Text("unit/run/ViewPeer.log").find(lines) != std::string::npos; }, 30s);
    };

    // A double click is a tap and a double tap's second touch.
    mouseTo(200, 150);
    for (int i = 0; i < 2; ++i) {
        XTestFakeButtonEvent(x_, 1, True, CurrentTime);
        XTestFakeButtonEvent(x_, 1, False, CurrentTime);
    }
    XFlush(x_);
    EXPECT_TRUE(peerShows("pen down 100 50 1\npen up 100 50 0\npen double 100 50 1\npen up 100 50 0\n"))
        << Text("unit/run/ViewPeer.log");
    EXPECT_TRUE(showsColour(0xFF0000)) << "the double tap does not show";

    // A key pressed in the view goes to the program in front.
    XSetInputFocus(x_, view, RevertToParent, CurrentTime);
    XTestFakeKeyEvent(x_, XKeysymToKeycode(x_, XK_k), True, CurrentTime);
    XTestFakeKeyEvent(x_, XKeysymToKeycode(x_, XK_k), False, CurrentTime);
    XFlush(x_);
    EXPECT_TRUE(peerShows("key 75\n")) << Text("unit/run/ViewPeer.log");  // 'K'
    EXPECT_TRUE(showsColour(0x00FF00)) << "the key does not show";

    // A drag: the pen moves while held and is lifted outside the program's window, over an
    // empty screen; the moves and the lift still go to the window that took the pen down.
    mouseTo(150, 120);
    XTestFakeButtonEvent(x_, 1, True, CurrentTime);
    mouseTo(250, 180);
    XSync(x_, False);
    mouseTo(600, 400);
    XTestFakeButtonEvent(x_, 1, False, CurrentTime);
    XFlush(x_);
    EXPECT_TRUE(peerShows("pen down 50 20 1\n")) << Text("unit/run/ViewPeer.log");
    EXPECT_TRUE(peerShows("pen move 500 300 1\npen up 500 300 0\n")) << Text("unit/run/ViewPeer.log");
    EXPECT_TRUE(showsColour(0x0000FF)) << "the drag does not show";
    EXPECT_FALSE(children_.exitCode("view").has_value()) << Text("view.out");
}

TEST_F(View, WithoutADisplayItSaysSoInOneLine) {
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    children_.start("view", {kHu, "view", unit_.string()}, work_ / "nodisplay.out");
    EXPECT_EQ(children_.waitExit("view", 30s), 1);
    const std::string said = Text("nodisplay.out");
    EXPECT_NE(said.find("no display"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    children_.start("demo", {kHu, "demo", "--view"}, work_ / "demo.out");
    EXPECT_EQ(children_.waitExit("demo", 30s), 1);
    EXPECT_NE(Text("demo.out").find("no display"), std::string::npos) << Text("demo.out");
}

}  // namespace
}  // namespace hu::demo
