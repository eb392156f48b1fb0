// `hu view DIR [--scale N]`: the head unit's screen live in a window of the host's desktop,
// composed as `hu ctl capture` composes it and drawn anew whenever the desktop says something
// changed; the mouse is the pen and the keyboard the keys, delivered as `hu ctl tap` and
// `hu ctl key` deliver them. It may start before the programs and outlives them.

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/core/paths.h"
#include "platform/core/profile.h"
#include "platform/ui/desktop.h"
#include "platform/ui/desktop_changes.h"
#include "platform/ui/window.h"
#include "tools/hu/cli_support.h"
#include "tools/hu/commands.h"
#include "tools/hu/head_unit_arg.h"
#include "tools/hu/view/sdl_window.h"

namespace hu {

namespace {

struct ViewOptions {
    std::string dir;
    int scale = 1;
};

std::string programName(const std::string& program) {
    std::string name = ce::fileNameOf(program);
    if (name.size() > 4 && (name.compare(name.size() - 4, 4, ".exe") == 0 || name.compare(name.size() - 4, 4, ".EXE") == 0))
        name.resize(name.size() - 4);
    return name;
}

// "hu view: NAME — PROGRAM": the head unit and the program in front.
std::string titleOf(const std::string& unit) {
    const auto windows = ce::enumTopLevelWindows();
    const ce::HWND foreground = ce::getForegroundWindow();
    std::string program;
    for (const auto& w : windows)
        if (w.hwnd == foreground && w.visible) program = programName(w.program);
    if (program.empty())
        for (const auto& w : windows)
            if (w.visible && !w.rect.empty()) {
                program = programName(w.program);
                break;
            }
    return "hu view: " + unit + " \xE2\x80\x94 " + (program.empty() ? "no program" : program);
}

}  // namespace

int cmdView(const Args& args) {
    ViewOptions o;
    cli::Parser parser("hu view", "the head unit's screen live in a window; the mouse is the pen (press, release, double "
                                  "click), the keyboard gives keys");
    parser.headUnit(o.dir).number("--scale", "N", o.scale, 1, 4, "magnify the screen N times (1)");
    if (auto status = parser.parse(args)) return *status;
    const auto root = enterHeadUnit(o.dir, "hu view");
    if (!root) return 1;
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!x || !*x) && (!wayland || !*wayland)) {
        std::fprintf(stderr, "hu view: no display (DISPLAY is not set): the view needs a desktop session\n");
        return 1;
    }
    auto profile = ce::Profile::current();
    const int width = profile.ok() ? (*profile)->screenWidth() : 800;
    const int height = profile.ok() ? (*profile)->screenHeight() : 480;
    const std::string unit = root->filename().string();

    std::string error;
    auto window = view::SdlWindow::open(titleOf(unit), width, height, o.scale, error);
    if (!window) {
        std::fprintf(stderr, "hu view: %s\n", error.c_str());
        return 1;
    }
    auto changes = ce::DesktopChanges::open();
    if (!changes.ok()) {
        std::fprintf(stderr, "hu view: cannot follow the desktop of %s (error %u)\n", root->c_str(), changes.error());
        return 1;
    }
    // The desktop's notifications wake the window's loop; the loop itself only waits.
    std::atomic<bool> stop{false};
    std::thread follower([&] {
        while (!stop)
            if ((*changes)->wait(250)) window->wake();
    });
    auto draw = [&] {
        if (auto screen = ce::captureScreen(); screen.ok()) window->show(**screen);
        window->setTitle(titleOf(unit));
    };
    draw();
    for (bool running = true; running;) {
        const view::Input input = window->next();
        if (std::holds_alternative<view::Wake>(input)) {
            draw();
        } else if (std::holds_alternative<view::Redraw>(input)) {
            window->showAgain();
        } else if (const auto* pen = std::get_if<view::PenInput>(&input)) {
            const ce::PenAction action = pen->kind == view::PenInput::Down         ? ce::PenAction::Down
                                         : pen->kind == view::PenInput::DoubleDown ? ce::PenAction::DoubleDown
                                         : pen->kind == view::PenInput::Move       ? ce::PenAction::Move
                                                                                   : ce::PenAction::Up;
            ce::injectPen(ce::Point{pen->x, pen->y}, action);  // nothing there: the tap goes nowhere
        } else if (const auto* key = std::get_if<view::KeyInput>(&input)) {
            ce::injectKey(key->virtualKey, key->down);
        } else {
            running = false;
        }
    }
    stop = true;
    follower.join();
    return 0;
}

}  // namespace hu
