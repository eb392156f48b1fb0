// view_bench: how soon `hu view` shows a change of a window image, and what it costs while
// nothing changes. On an X server of its own (Xvfb), `hu view` follows a head unit in which
// this process owns one full-screen window; each round paints the window in a new colour and
// times
//   - the desktop's own change-to-image time: from the paint request until the composed image
//     is in the window's memory file, readable by any process (the baseline), and
//   - the change-to-view time: from the same request until the view's X window shows the new
//     colour (read back from the X server), target: median under 20 ms;
// then the view's share of one core over a few seconds in which nothing changes (target < 3 %).
// Before any figure the whole view is checked against the composed screen, pixel for pixel, and
// every round must have reached the view. Each figure is the median of the runs (each run the
// median of its rounds) with their spread.
//
//   view_bench [ROUNDS]   (rounds per run, default 30)

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "platform/core/profile.h"
#include "platform/gfx/surface.h"
#include "platform/ui/desktop.h"
#include "platform/gfx/color.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "sim/headunit/headunit.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

pid_t Spawn(const std::vector<std::string>& args, const fs::path& output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void Stop(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

Window FindView(Display* display) {
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) && name) {
            if (std::string(name).rfind("hu view", 0) == 0) found = children[i];
            XFree(name);
        }
    }
    if (children) XFree(children);
    return found;
}

unsigned long PixelAt(Display* display, Window window, int x, int y) {
    XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return ~0ul;
    const unsigned long p = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return p;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// How many pixels of the view's window differ from the composed screen.
long DifferingPixels(Display* display, Window window, const ce::Surface& screen) {
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(screen.width()),
                              static_cast<unsigned>(screen.height()), AllPlanes, ZPixmap);
    if (!image) return -1;
    long differ = 0;
    for (int y = 0; y < screen.height(); ++y)
        for (int x = 0; x < screen.width(); ++x) differ += (XGetPixel(image, x, y) & 0xFFFFFF) != screen.pixel(x, y);
    XDestroyImage(image);
    return differ;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 30;
    bench::PrintHeading("view_bench", "hu view on Xvfb beside an 800 x 480 window image changing colour");
    bench::QuietProgramOutput();
    char pattern[] = "/tmp/view-bench-XXXXXX";
    const fs::path work = ::mkdtemp(pattern);
    const fs::path unit = work / "unit";
    sim::createHeadUnit(unit, sim::HeadUnitOptions{});
    ::setenv("HEADUNIT_ROOT", unit.c_str(), 1);
    ce::Profile::setCurrent(unit);

    const int number = 200 + ::getpid() % 700;
    const std::string display = ":" + std::to_string(number);
    const pid_t xvfb = Spawn({"/usr/bin/Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, work / "xvfb.out");
    Display* x = nullptr;
    for (int i = 0; i < 300 && !x; ++i) {
        x = XOpenDisplay(display.c_str());
        if (!x) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!x) Stop(xvfb);
    bench::Require(x != nullptr, "Xvfb did not start");
    ::setenv("DISPLAY", display.c_str(), 1);
    XSetErrorHandler(IgnoreXErrors);

    ce::Window window;
    window.setBackground(ce::colorFromPixel(0x000000));
    window.create({"ViewBench", "view bench", ce::WS_POPUP | ce::WS_VISIBLE, 0, ce::Rect{0, 0, 800, 480}, 0, 0});
    ce::updateWindow(window.hwnd());

    const pid_t view = Spawn({std::string(HU_BIN_DIR) + "/hu", "view", unit.string()}, work / "view.out");
    Window viewWindow = 0;
    for (int i = 0; i < 600 && !viewWindow; ++i) {
        viewWindow = FindView(x);
        if (!viewWindow) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    auto cleanUp = [&] {
        Stop(view);
        XCloseDisplay(x);
        Stop(xvfb);
        std::error_code ec;
        fs::remove_all(work, ec);
    };
    if (!viewWindow) cleanUp();
    bench::Require(viewWindow != 0, "hu view showed no window");

    // The result first: the view shows exactly the composed screen.
    window.setBackground(ce::colorFromPixel(0x336699));
    ce::invalidateRect(window.hwnd(), nullptr, true);
    ce::updateWindow(window.hwnd());
    long differ = -1;
    for (int i = 0; i < 200 && differ != 0; ++i) {
        auto screen = ce::captureScreen();
        differ = screen.ok() ? DifferingPixels(x, viewWindow, **screen) : -1;
        if (differ != 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (differ != 0) cleanUp();
    bench::Require(differ == 0, "the view's window does not show the composed screen");

    bench::Samples toImage, toView, idle;
    int missed = 0;
    for (int run = 0; run < bench::Runs(); ++run) {
        std::vector<double> image, shown;
        for (int i = 0; i < rounds; ++i) {
            const uint32_t colour = 0x102030u + static_cast<uint32_t>(run * rounds + i) * 0x030507u % 0xEFEFEF;
            const auto t0 = Clock::now();
            window.setBackground(ce::colorFromPixel(colour));
            ce::invalidateRect(window.hwnd(), nullptr, true);
            ce::updateWindow(window.hwnd());  // painted and composed into the memory file on return
            const auto t1 = Clock::now();
            bool seen = false;
            while (!seen && Clock::now() - t0 < std::chrono::seconds(2)) seen = PixelAt(x, viewWindow, 400, 240) == colour;
            image.push_back(Ms(t1 - t0));
            if (seen) shown.push_back(Ms(Clock::now() - t0));
            else ++missed;
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        if (!shown.empty()) toView.values.push_back(Median(shown));
        toImage.values.push_back(Median(image));
        const double cpu0 = CpuSeconds(view);
        const auto idle0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        idle.values.push_back((CpuSeconds(view) - cpu0) / bench::SecondsSince(idle0));
    }
    if (missed) cleanUp();
    bench::Require(missed == 0, std::to_string(missed) + " changes never reached the view's window");

    std::printf("  %d runs of %d changes each\n", bench::Runs(), rounds);
    std::printf("  desktop's own change-to-image (baseline)   %s\n", toImage.describe(1, "ms", 3).c_str());
    std::printf("  change to the view's window (X server)     %s   target: median < 20 ms%s\n",
                toView.describe(1, "ms", 3).c_str(), toView.median() < 20 ? "" : "  OVER TARGET");
    std::printf("  hu view's share of one core, nothing changing  %s   target: < 3 %%%s\n", idle.describe(100, "%", 2).c_str(),
                idle.median() < 0.03 ? "" : "  OVER TARGET");
    bench::PrintMachineAfter();
    cleanUp();
    return 0;
}
