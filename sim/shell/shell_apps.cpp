#include "sim/shell/shell_apps.h"

#include <cstdio>
#include <memory>
#include <set>

#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "sim/board/sim_clock.h"
#include "sim/shell/shell_log.h"

namespace sim {

namespace {

// Messages a window generates for itself while it lives; they are not what others sent it.
const std::set<ce::UINT> kOwnMessages = {
    ce::WM_CREATE, ce::WM_DESTROY,     ce::WM_MOVE,       ce::WM_SIZE,    ce::WM_ACTIVATE, ce::WM_SETFOCUS,
    ce::WM_KILLFOCUS, ce::WM_PAINT,    ce::WM_ERASEBKGND, ce::WM_SHOWWINDOW, ce::WM_SETFONT, ce::WM_GETFONT,
};

// The posted message being dispatched by the shell's loop; any other message a window
// handles reached it as a sent message.
const ce::Msg* g_dispatching = nullptr;

class ShellWindow : public ce::Window {
public:
    ShellWindow(std::filesystem::path root, std::string title, int* open)
        : root_(std::move(root)), title_(std::move(title)), open_(open) {}

    ce::LRESULT windowProc(ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam) override {
        bool posted = false;
        if (g_dispatching && g_dispatching->hwnd == hwnd() && g_dispatching->message == msg &&
            g_dispatching->wParam == wParam && g_dispatching->lParam == lParam) {
            posted = true;
            g_dispatching = nullptr;
        }
        if (!kOwnMessages.count(msg)) {
            ShellMessage logged{monotonicMs(), title_, msg, static_cast<int64_t>(wParam),
                                static_cast<int64_t>(lParam), posted};
            ShellLog::append(root_, logged);
            std::printf("shell: %-12s %s 0x%04X wParam 0x%llX lParam 0x%llX\n", title_.c_str(),
                        posted ? "posted" : "sent  ", msg, static_cast<unsigned long long>(wParam),
                        static_cast<unsigned long long>(lParam));
            std::fflush(stdout);
        }
        if (msg == ce::WM_DESTROY && --*open_ == 0) ce::postQuitMessage(0);
        return ce::Window::windowProc(msg, wParam, lParam);  // WM_CLOSE destroys the window
    }

private:
    std::filesystem::path root_;
    std::string title_;
    int* open_;
};

}  // namespace

int runShell(const std::filesystem::path& root, const ShellOptions& options, const std::atomic<bool>* stop) {
    int open = 0;
    std::vector<std::unique_ptr<ShellWindow>> windows;
    for (size_t i = 0; i < options.titles.size(); ++i) {
        auto window = std::make_unique<ShellWindow>(root, options.titles[i], &open);
        ce::WindowSpec shape;
        shape.className = "ShellApplication";
        shape.title = options.titles[i];
        shape.style = ce::WS_POPUP;  // present on the desktop, not on the screen
        shape.rect = {0, 0, 800, 480};
        if (ce::Error error = window->create(shape); error != ce::ERROR_SUCCESS) {
            std::fprintf(stderr, "shell: cannot create the window \"%s\" (error %u)\n", options.titles[i].c_str(), error);
            return 1;
        }
        ++open;
        windows.push_back(std::move(window));
    }
    while (open > 0 && !(stop && stop->load())) {
        ce::waitMessage(100);
        ce::Msg msg;
        while (ce::peekMessage(&msg)) {
            if (msg.message == ce::WM_QUIT) return 0;
            g_dispatching = &msg;
            ce::dispatchMessage(&msg);
            g_dispatching = nullptr;
        }
    }
    return 0;
}

}  // namespace sim
