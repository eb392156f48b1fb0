// Message delivery inside one process: the queue's order, sends between threads (also into
// nested modal loops), timers, the quit request and registered messages.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/ui/desktop.h"
#include "platform/ui/dialog.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"

using namespace ce;
using namespace std::chrono_literals;

namespace {

// Records the messages it handles, by name where the test cares.
class Recorder : public Window {
public:
    std::vector<UINT> seen;
    LRESULT windowProc(UINT msg, WPARAM w, LPARAM l) override {
        if (msg != WM_NULL && msg != WM_SHOWWINDOW && msg != WM_ERASEBKGND && msg != WM_CREATE &&
            msg != WM_MOVE && msg != WM_SIZE && msg != WM_DESTROY)
            seen.push_back(msg);
        return Window::windowProc(msg, w, l);
    }
    Error make(Rect rect = {0, 0, 100, 100}) {
        return create({"Recorder", "recorder", WS_POPUP | WS_VISIBLE, 0, rect, 0, 0});
    }
};

void drain() {
    Msg m;
    while (peekMessage(&m, 0, 0, 0, PM_REMOVE)) dispatchMessage(&m);
}

}  // namespace

TEST(Messages, QueueHandsOutSentThenPostedThenInputThenPaintThenTimers) {
    Recorder w;
    ASSERT_EQ(w.make({1000, 1000, 1100, 1100}), ERROR_SUCCESS);
    drain();
    w.seen.clear();

    ASSERT_EQ(setTimer(w.hwnd(), 7, 1), 7u);
    std::this_thread::sleep_for(20ms);
    invalidateRect(w.hwnd(), nullptr, true);
    ASSERT_EQ(injectPen({1050, 1050}, PenAction::Tap), ERROR_SUCCESS);
    ASSERT_TRUE(postMessage(w.hwnd(), WM_USER + 1, 0, 0));
    std::thread sender([&] { EXPECT_EQ(sendMessage(w.hwnd(), WM_USER + 2, 0, 0), 0); });
    std::this_thread::sleep_for(50ms);  // the send is queued last of all, yet handled first
    for (int i = 0; i < 6; ++i) {
        Msg m;
        if (!peekMessage(&m, 0, 0, 0, PM_REMOVE)) break;
        dispatchMessage(&m);
    }
    sender.join();
    killTimer(w.hwnd(), 7);
    std::vector<UINT> expected{WM_USER + 2, WM_USER + 1, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_PAINT, WM_TIMER};
    EXPECT_EQ(w.seen, expected);
}

TEST(Messages, SendOnOwnThreadIsADirectCall) {
    Recorder w;
    ASSERT_EQ(w.make(), ERROR_SUCCESS);
    w.on(WM_USER + 5, [](WPARAM a, LPARAM b) -> LRESULT { return static_cast<LRESULT>(a) + b; });
    EXPECT_EQ(sendMessage(w.hwnd(), WM_USER + 5, 40, 2), 42);
    EXPECT_EQ(sendMessage(0x7777, WM_USER + 5, 40, 2), 0);
    EXPECT_EQ(lastSendError(), ERROR_INVALID_HANDLE);
}

TEST(Messages, CrossThreadSendIsAnsweredInsideNestedModalLoop) {
    const UINT report = registerWindowMessage("UI_TEST_REPORT");
    ASSERT_NE(report, 0u);

    // Outer page -> timer -> inner page (nested modal loop) -> a worker broadcasts reports; the
    // inner page's handler sleeps like a page that drives hardware, then ends on the last one.
    DialogTemplate t;
    t.cx = 100;
    t.cy = 50;
    Dialog outer(t);
    Dialog inner(t);
    std::vector<WPARAM> innerSaw;
    std::atomic<int> handledBeforeReturn{0};
    std::thread worker;
    std::atomic<bool> handlerDone{false};

    inner.on(report, [&](WPARAM w, LPARAM) -> LRESULT {
        innerSaw.push_back(w);
        if (w == 0x8000) {
            std::this_thread::sleep_for(100ms);
            handlerDone = true;
        }
        if (w == 0x4000) inner.endDialog(IDOK);
        return 1;
    });
    inner.on(WM_INITDIALOG, [&](WPARAM, LPARAM) -> LRESULT {
        worker = std::thread([&] {
            sendMessage(HWND_BROADCAST, report, 0x8000, 0);
            if (handlerDone) ++handledBeforeReturn;  // the broadcast waited for the handler
            sendMessage(HWND_BROADCAST, report, 0x4000, 0);
        });
        return 1;
    });
    int innerResult = 0;
    outer.on(WM_INITDIALOG, [&](WPARAM, LPARAM) -> LRESULT {
        setTimer(outer.hwnd(), 1, 10);
        return 1;
    });
    outer.on(WM_TIMER, [&](WPARAM, LPARAM) -> LRESULT {
        killTimer(outer.hwnd(), 1);
        innerResult = inner.runModal(outer.hwnd());
        outer.endDialog(5);
        return 0;
    });
    EXPECT_EQ(outer.runModal(), 5);
    worker.join();
    EXPECT_EQ(innerResult, IDOK);
    EXPECT_EQ(innerSaw, (std::vector<WPARAM>{0x8000, 0x4000}));
    EXPECT_EQ(handledBeforeReturn, 1);
}

TEST(Messages, ThreadsSendingToEachOtherDoNotDeadlock) {
    Recorder mine;
    ASSERT_EQ(mine.make(), ERROR_SUCCESS);
    mine.on(WM_USER + 10, [](WPARAM w, LPARAM) -> LRESULT { return static_cast<LRESULT>(w) * 2; });

    std::atomic<HWND> theirs{0};
    std::atomic<bool> stop{false};
    std::thread other([&] {
        Recorder w;
        w.make();
        HWND back = mine.hwnd();
        w.on(WM_USER + 11, [back](WPARAM v, LPARAM) -> LRESULT { return sendMessage(back, WM_USER + 10, v, 0) + 1; });
        theirs = w.hwnd();
        while (!stop) waitMessage(10) && (drain(), true);
    });
    while (!theirs) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(sendMessage(theirs, WM_USER + 11, 20, 0), 41);
    stop = true;
    other.join();
}

TEST(Messages, SendToAWindowWhoseThreadEndedFailsAtOnce) {
    HWND orphan = 0;
    std::thread([&] {
        auto* w = new Recorder;  // never destroyed: its thread just ends
        w->make();
        orphan = w->hwnd();
    }).join();
    EXPECT_EQ(sendMessage(orphan, WM_USER, 0, 0), 0);
    EXPECT_EQ(lastSendError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(postMessage(orphan, WM_USER, 0, 0));
}

TEST(Messages, TimerRestartsWhenSetAgainAndCoalescesMissedExpiries) {
    Recorder w;
    ASSERT_EQ(w.make(), ERROR_SUCCESS);
    drain();

    // Restart: set at 0 ms with 200 ms, set again at 150 ms: the first tick comes near 350 ms.
    auto start = std::chrono::steady_clock::now();
    setTimer(w.hwnd(), 3, 200);
    std::this_thread::sleep_for(150ms);
    setTimer(w.hwnd(), 3, 200);
    Msg m;
    do {
        ASSERT_TRUE(getMessage(&m));
    } while (m.message != WM_TIMER);
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 330ms);

    // Coalescing: ten periods pass without pumping, one WM_TIMER waits.
    setTimer(w.hwnd(), 4, 5);
    std::this_thread::sleep_for(60ms);
    int ticks = 0;
    while (peekMessage(&m, 0, WM_TIMER, WM_TIMER, PM_REMOVE))
        if (m.wParam == 4) ++ticks;
    EXPECT_EQ(ticks, 1);

    // killTimer removes the expiry that was already waiting.
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(killTimer(w.hwnd(), 4));
    EXPECT_FALSE(peekMessage(&m, 0, WM_TIMER, WM_TIMER, PM_REMOVE) && m.wParam == 4);
    EXPECT_FALSE(killTimer(w.hwnd(), 4));
    EXPECT_EQ(setTimer(0x1234, 1, 10), 0u);
}

TEST(Messages, QuitEndsModalDialogAndReachesTheOuterLoop) {
    DialogTemplate t;
    t.cx = 40;
    t.cy = 20;
    Dialog page(t);
    page.on(WM_INITDIALOG, [&](WPARAM, LPARAM) -> LRESULT {
        postQuitMessage(3);
        return 1;
    });
    EXPECT_EQ(page.runModal(), -1);
    EXPECT_FALSE(page.exists());
    Msg m;
    EXPECT_FALSE(getMessage(&m));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(m.wParam, 3u);
}

TEST(Messages, RegisteredMessagesIgnoreCaseAndStayInTheirRange) {
    UINT a = registerWindowMessage("MICOM_UPDATE_TEST");
    EXPECT_GE(a, REGISTERED_MESSAGE_FIRST);
    EXPECT_LE(a, REGISTERED_MESSAGE_LAST);
    EXPECT_EQ(registerWindowMessage("micom_update_test"), a);
    EXPECT_NE(registerWindowMessage("QTL_MSG_BROADCAST_TEST"), a);
    EXPECT_EQ(registerWindowMessage(""), 0u);
}

TEST(Messages, PointerMessagesAreNeverPostedAndPrivateMessagesAreNotBroadcast) {
    Recorder w;
    ASSERT_EQ(w.make(), ERROR_SUCCESS);
    drain();
    w.seen.clear();
    CopyDataStruct cds{1, 0, nullptr};
    EXPECT_FALSE(postMessage(w.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)));
    EXPECT_FALSE(postMessage(w.hwnd(), WM_SETTEXT, 0, 0));
    sendMessage(HWND_BROADCAST, WM_USER + 3, 0, 0);  // private numbers stay private
    EXPECT_EQ(lastSendError(), ERROR_INVALID_PARAMETER);
    sendMessage(HWND_BROADCAST, WM_DEVICECHANGE, 4, 0);
    EXPECT_EQ(w.seen, std::vector<UINT>{WM_DEVICECHANGE});
}

TEST(Messages, DestroyingAWindowReleasesSendsWaitingForIt) {
    auto w = std::make_unique<Recorder>();
    ASSERT_EQ(w->make(), ERROR_SUCCESS);
    HWND h = w->hwnd();
    std::atomic<uint32_t> error{0};
    std::thread sender([&] {
        sendMessage(h, WM_USER + 20, 0, 0);
        error = lastSendError();
    });
    std::this_thread::sleep_for(50ms);  // the send waits in our queue; we do not pump
    w.reset();
    sender.join();
    EXPECT_EQ(error, ERROR_INVALID_HANDLE);
}
