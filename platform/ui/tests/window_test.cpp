// Windows by handle: state changes and what they return, the z-order of child windows in the
// composed image, painting on request, keys to the focused control, WM_GETTEXT.

#include <gtest/gtest.h>

#include <cstring>

#include "platform/ui/controls.h"
#include "platform/ui/desktop.h"
#include "platform/ui/message.h"
#include "platform/ui/paint.h"
#include "platform/ui/window.h"

using namespace ce;

namespace {

class Solid : public Window {
public:
    explicit Solid(COLORREF c) { setBackground(c); }
    int paints = 0;
    void paint(Dc& dc) override {
        ++paints;
        Window::paint(dc);
    }
};

void pump() {
    Msg m;
    while (peekMessage(&m, 0, 0, 0, PM_REMOVE)) {
        translateMessage(&m);
        dispatchMessage(&m);
    }
}

}  // namespace

TEST(Window, RaisingAChildBringsItsPixelsToTheFront) {
    Solid frame(RGB(0, 0, 0));
    ASSERT_EQ(frame.create({"Frame", "frame", WS_POPUP | WS_VISIBLE, 0, {0, 330, 800, 480}, 0, 0}), ERROR_SUCCESS);
    Solid horizontal(RGB(255, 0, 0));
    Solid vertical(RGB(0, 0, 255));
    ASSERT_EQ(horizontal.create({"Panel", "", WS_CHILD | WS_VISIBLE, 0, {0, 0, 800, 150}, frame.hwnd(), 1001}), 0u);
    ASSERT_EQ(vertical.create({"Panel", "", WS_CHILD | WS_VISIBLE, 0, {0, 0, 250, 150}, frame.hwnd(), 1002}), 0u);
    auto at = [&](int x, int y) { return (*captureWindow(frame.hwnd()))->pixel(x, y); };
    EXPECT_EQ(at(10, 10), 0xFF0000u) << "the elder sibling is on top";
    ASSERT_TRUE(setWindowPos(vertical.hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW));
    EXPECT_EQ(at(10, 10), 0x0000FFu);
    EXPECT_EQ(at(400, 10), 0xFF0000u);
    // Moving a child recomposes where it was and where it is.
    ASSERT_TRUE(moveWindow(vertical.hwnd(), 500, 0, 250, 150, true));
    EXPECT_EQ(at(10, 10), 0xFF0000u);
    EXPECT_EQ(at(600, 10), 0x0000FFu);
    Rect r;
    getWindowRect(vertical.hwnd(), &r);
    EXPECT_EQ(r, (Rect{500, 330, 750, 480})) << "screen coordinates";
    EXPECT_EQ(clientToScreen(vertical.hwnd(), {1, 2}).y, 332);
}

TEST(Window, StateCallsReturnThePreviousStateAndPaintingWaitsUntilAsked) {
    Solid w(RGB(1, 2, 3));
    ASSERT_EQ(w.create({"W", "title", WS_POPUP | WS_VISIBLE, 0, {0, 0, 50, 50}, 0, 0}), ERROR_SUCCESS);
    pump();
    int painted = w.paints;
    invalidateRect(w.hwnd(), nullptr, true);
    EXPECT_EQ(w.paints, painted) << "invalidating only asks for WM_PAINT";
    updateWindow(w.hwnd());
    EXPECT_EQ(w.paints, painted + 1);
    updateWindow(w.hwnd());
    EXPECT_EQ(w.paints, painted + 1) << "nothing left to paint";

    EXPECT_TRUE(showWindow(w.hwnd(), SW_HIDE));
    EXPECT_FALSE(showWindow(w.hwnd(), SW_HIDE));
    EXPECT_FALSE(isWindowVisible(w.hwnd()));
    invalidateRect(w.hwnd(), nullptr, true);
    pump();
    EXPECT_EQ(w.paints, painted + 1) << "hidden windows are not painted";
    EXPECT_FALSE(showWindow(w.hwnd(), SW_SHOW));
    pump();
    EXPECT_EQ(w.paints, painted + 2);

    EXPECT_FALSE(enableWindow(w.hwnd(), false));
    EXPECT_TRUE(enableWindow(w.hwnd(), true));
    EXPECT_TRUE(isWindowEnabled(w.hwnd()));

    char buffer[4];
    EXPECT_EQ(sendMessage(w.hwnd(), WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer)), 3);
    EXPECT_STREQ(buffer, "tit");
    EXPECT_EQ(sendMessage(w.hwnd(), WM_GETTEXTLENGTH, 0, 0), 5);
    EXPECT_TRUE(setWindowText(w.hwnd(), "renamed"));
    EXPECT_EQ(findWindow("renamed"), w.hwnd());
    EXPECT_EQ(findWindow("title"), 0u);

    HWND h = w.hwnd();
    w.destroy();
    EXPECT_FALSE(isWindow(h));
    EXPECT_FALSE(showWindow(h, SW_SHOW));
    EXPECT_EQ(findWindow("renamed"), 0u);
}

TEST(Window, KeysGoToTheFocusedControlAndBecomeCharacters) {
    Solid frame(RGB(0, 0, 0));
    ASSERT_EQ(frame.create({"Keys", "keys", WS_POPUP | WS_VISIBLE, WS_EX_TOPMOST, {0, 0, 10, 10}, 0, 0}), 0u);
    Solid child(RGB(0, 0, 0));
    ASSERT_EQ(child.create({"Child", "", WS_CHILD | WS_VISIBLE, 0, {0, 0, 5, 5}, frame.hwnd(), 1}), 0u);
    std::vector<std::pair<UINT, WPARAM>> got;
    child.on(WM_KEYDOWN, [&](WPARAM w, LPARAM) -> LRESULT {
        got.push_back({WM_KEYDOWN, w});
        return 0;
    });
    child.on(WM_CHAR, [&](WPARAM w, LPARAM) -> LRESULT {
        got.push_back({WM_CHAR, w});
        return 0;
    });
    ASSERT_TRUE(setForegroundWindow(frame.hwnd()));
    setFocus(child.hwnd());
    ASSERT_EQ(injectKey('A', true), ERROR_SUCCESS);
    pump();
    EXPECT_EQ(got, (std::vector<std::pair<UINT, WPARAM>>{{WM_KEYDOWN, 'A'}, {WM_CHAR, 'a'}}));
}

TEST(Window, ProgressBarStepsWrapAndRangesReportTheirPreviousValue) {
    Window parent;
    ASSERT_EQ(parent.create({"P", "", WS_POPUP, 0, {0, 0, 100, 20}, 0, 0}), 0u);
    ProgressBar bar;
    ASSERT_EQ(bar.create({WC_PROGRESS, "", WS_CHILD | WS_VISIBLE, 0, {0, 0, 100, 20}, parent.hwnd(), 1003}), 0u);
    HWND h = bar.hwnd();
    EXPECT_EQ(sendMessage(h, PBM_SETRANGE32, 10, 20), makeLParam(0, 100));
    EXPECT_EQ(bar.pos(), 10) << "the position is kept inside the new range";
    EXPECT_EQ(sendMessage(h, PBM_SETSTEP, 4, 0), 10);
    sendMessage(h, PBM_STEPIT, 0, 0);
    sendMessage(h, PBM_STEPIT, 0, 0);
    EXPECT_EQ(sendMessage(h, PBM_STEPIT, 0, 0), 18);
    EXPECT_EQ(bar.pos(), 12) << "22 wraps to the start of the range";
    EXPECT_EQ(sendMessage(h, PBM_DELTAPOS, 3, 0), 12);
    EXPECT_EQ(sendMessage(h, PBM_GETPOS, 0, 0), 15);
    EXPECT_EQ(sendMessage(h, PBM_GETRANGE, 1, 0x1234), 10) << "the range record pointer is never followed";
}

TEST(Window, ChildrenMustLiveOnTheirParentsThread) {
    Window parent;
    ASSERT_EQ(parent.create({"P", "", WS_POPUP, 0, {0, 0, 10, 10}, 0, 0}), 0u);
    Error e = ERROR_SUCCESS;
    std::thread([&] {
        Window child;
        e = child.create({"C", "", WS_CHILD, 0, {0, 0, 5, 5}, parent.hwnd(), 1});
    }).join();
    EXPECT_EQ(e, ERROR_INVALID_HANDLE);
    Window twice;
    ASSERT_EQ(twice.create({"T", "", WS_POPUP, 0, {0, 0, 1, 1}, 0, 0}), 0u);
    EXPECT_EQ(twice.create({"T", "", WS_POPUP, 0, {0, 0, 1, 1}, 0, 0}), ERROR_ALREADY_EXISTS);
}
