// A small program with one top-level window, started by the desktop tests as another process
// of the head unit. It answers a registered message and WM_COPYDATA with values the test can
// check, and notes every message it handled in run/<title>.log, the pen and the keys too (and
// shows them in its colour). "UI_TEST_HOLD" keeps its thread busy until run/<title>.release
// exists, so that messages pile up in its queue.
//
//   ui_test_peer TITLE [--hidden] [--color RRGGBB] [--rect L T R B] [--sleep-ms N]

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/core/profile.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"

using namespace ce;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: ui_test_peer TITLE [--hidden] [--color RRGGBB] [--rect L T R B] [--sleep-ms N]\n");
        return 2;
    }
    std::string title = argv[1];
    bool hidden = false;
    uint32_t color = 0x808080;
    Rect rect{0, 0, 200, 100};
    int sleepMs = 0;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--hidden") hidden = true;
        else if (a == "--color" && i + 1 < argc) color = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 16));
        else if (a == "--sleep-ms" && i + 1 < argc) sleepMs = std::atoi(argv[++i]);
        else if (a == "--rect" && i + 4 < argc) {
            rect.left = std::atoi(argv[++i]);
            rect.top = std::atoi(argv[++i]);
            rect.right = std::atoi(argv[++i]);
            rect.bottom = std::atoi(argv[++i]);
        }
    }
    auto profile = Profile::current();
    if (!profile.ok()) {
        std::fprintf(stderr, "ui_test_peer: no head unit\n");
        return 1;
    }
    std::string logPath = ((*profile)->runDir() / (title + ".log")).string();
    auto note = [&](const std::string& line) {
        std::ofstream(logPath, std::ios::app) << line << "\n";
    };

    const UINT ping = registerWindowMessage("UI_TEST_PING");
    Window w;
    w.setBackground(colorFromPixel(color));
    w.on(ping, [&](WPARAM wParam, LPARAM) -> LRESULT {
        if (sleepMs) std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
        note("ping " + std::to_string(wParam));
        return static_cast<LRESULT>(wParam) + 1000;
    });
    const UINT hold = registerWindowMessage("UI_TEST_HOLD");
    w.on(hold, [&](WPARAM, LPARAM) -> LRESULT {
        const auto release = (*profile)->runDir() / (title + ".release");
        for (int i = 0; i < 6000 && !std::filesystem::exists(release); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        note("held");
        return 0;
    });
    // Repaints the window in the colour wParam (0xRRGGBB).
    const UINT repaint = registerWindowMessage("UI_TEST_REPAINT");
    w.on(repaint, [&](WPARAM wParam, LPARAM) -> LRESULT {
        w.setBackground(colorFromPixel(static_cast<uint32_t>(wParam)));
        invalidateRect(w.hwnd(), nullptr, true);
        updateWindow(w.hwnd());
        return 0;
    });
    w.on(WM_COPYDATA, [&](WPARAM wParam, LPARAM lParam) -> LRESULT {
        const auto* cds = reinterpret_cast<const CopyDataStruct*>(lParam);
        LRESULT sum = static_cast<LRESULT>(cds->dwData) + static_cast<LRESULT>(cds->cbData) * 65536;
        std::string bytes(static_cast<const char*>(cds->lpData ? cds->lpData : ""), cds->cbData);
        for (unsigned char c : bytes) sum += c;
        note("copydata " + std::to_string(wParam) + " " + bytes);
        return sum;
    });
    // The pen and the keys, noted with the point in the window's coordinates, and shown: a
    // double tap turns the window red, a key green, the pen moved while down blue.
    auto react = [&](uint32_t pixel) {
        w.setBackground(colorFromPixel(pixel));
        invalidateRect(w.hwnd(), nullptr, true);
        updateWindow(w.hwnd());
    };
    const std::pair<UINT, const char*> pens[] = {
        {WM_LBUTTONDOWN, "down"}, {WM_LBUTTONUP, "up"}, {WM_LBUTTONDBLCLK, "double"}, {WM_MOUSEMOVE, "move"}};
    for (const auto& [message, name] : pens) {
        w.on(message, [&, message, name](WPARAM wParam, LPARAM lParam) -> LRESULT {
            const auto x = static_cast<int16_t>(loWord(static_cast<uintptr_t>(lParam)));
            const auto y = static_cast<int16_t>(hiWord(static_cast<uintptr_t>(lParam)));
            note(std::string("pen ") + name + " " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(wParam));
            if (message == WM_LBUTTONDBLCLK) react(0xFF0000);
            if (message == WM_MOUSEMOVE) react(0x0000FF);
            return 0;
        });
    }
    w.on(WM_KEYDOWN, [&](WPARAM wParam, LPARAM) -> LRESULT {
        note("key " + std::to_string(wParam));
        react(0x00FF00);
        return 0;
    });
    w.on(WM_DESTROY, [](WPARAM, LPARAM) -> LRESULT {
        postQuitMessage(0);
        return 0;
    });
    if (w.create({"UiTestPeer", title, WS_POPUP | (hidden ? 0u : static_cast<uint32_t>(WS_VISIBLE)), 0, rect, 0, 0}))
        return 1;
    updateWindow(w.hwnd());
    note("ready");
    return runMessageLoop();
}
