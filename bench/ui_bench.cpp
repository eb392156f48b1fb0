// ui_bench: figures of the window system against a baseline measured in the same run.
//
//   1. Cross-thread sendMessage round trip (target: median below 50 us), against the same
//      ping-pong between two threads done with a bare mutex and condition variable.
//   2. Resident memory of a program idling with one full-screen dialog (target: below 20 MiB),
//      against the same process before it created any window.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "sim/headunit/headunit.h"

using namespace ce;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 20000;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

// Baseline: one thread hands a number to another and waits for the answer.
std::vector<double> conditionVariablePingPong() {
    std::mutex m;
    std::condition_variable cv;
    int request = 0, answer = 0;
    bool stop = false;
    std::thread server([&] {
        std::unique_lock lock(m);
        for (;;) {
            cv.wait(lock, [&] { return request != answer || stop; });
            if (stop) return;
            answer = request;
            cv.notify_all();
        }
    });
    std::vector<double> us;
    for (int i = 1; i <= kRounds; ++i) {
        auto t0 = Clock::now();
        std::unique_lock lock(m);
        request = i;
        cv.notify_all();
        cv.wait(lock, [&] { return answer == i; });
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    {
        std::lock_guard lock(m);
        stop = true;
    }
    cv.notify_all();
    server.join();
    return us;
}

std::vector<double> crossThreadSend() {
    std::atomic<HWND> target{0};
    std::atomic<bool> stop{false};
    std::thread ui([&] {
        Window w;
        w.on(WM_USER + 1, [](WPARAM v, LPARAM) -> LRESULT { return static_cast<LRESULT>(v) + 1; });
        w.create({"Bench", "bench", WS_POPUP, 0, {0, 0, 1, 1}, 0, 0});
        target = w.hwnd();
        Msg m;
        while (!stop && getMessage(&m)) dispatchMessage(&m);
    });
    while (!target) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::vector<double> us;
    for (int i = 0; i < kRounds; ++i) {
        auto t0 = Clock::now();
        LRESULT r = sendMessage(target, WM_USER + 1, static_cast<WPARAM>(i), 0);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (r != i + 1) std::fprintf(stderr, "ui_bench: wrong answer %ld\n", static_cast<long>(r));
    }
    stop = true;
    postMessage(target, WM_NULL, 0, 0);
    ui.join();
    return us;
}

double residentMiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

}  // namespace

int main() {
    sim::TempHeadUnit unit;  // a real desktop: window index, sockets, shared pixels
    double before = residentMiB();

    auto base = conditionVariablePingPong();
    auto send = crossThreadSend();
    std::printf("cross-thread round trip, %d rounds:\n", kRounds);
    std::printf("  baseline (mutex + condition variable): median %6.1f us, p99 %6.1f us\n", median(base),
                percentile(base, 0.99));
    std::printf("  sendMessage to another thread's window: median %6.1f us, p99 %6.1f us  (target < 50 us median: %s)\n",
                median(send), percentile(send, 0.99), median(send) < 50 ? "met" : "MISSED");

    // An idle program with one full-screen dialog of the usual controls.
    DialogTemplate t;
    t.cx = 246;
    t.cy = 154;
    t.pointSize = 18;
    t.items = {
        {1000, WC_BUTTON, "START", 49, 113, 50, 24, WS_CHILD | WS_VISIBLE},
        {1001, WC_BUTTON, "CANCEL", 147, 113, 50, 24, WS_CHILD | WS_VISIBLE},
        {1006, WC_EDIT, "New software has been detected.", 0, 49, 246, 31, WS_CHILD | WS_VISIBLE | ES_CENTER | ES_MULTILINE},
        {1003, WC_PROGRESS, "", 11, 90, 224, 14, WS_CHILD | WS_VISIBLE},
        {-1, WC_STATIC, "Ver1.0", 0, 0, 60, 8, WS_CHILD | WS_VISIBLE},
    };
    Dialog page(t);
    page.createModeless();
    setWindowPos(page.hwnd(), HWND_TOPMOST, 0, 0, getSystemMetrics(SM_CXSCREEN), getSystemMetrics(SM_CYSCREEN),
                 SWP_SHOWWINDOW);
    auto until = Clock::now() + std::chrono::milliseconds(500);
    while (Clock::now() < until) {
        Msg m;
        while (peekMessage(&m, 0, 0, 0, PM_REMOVE)) dispatchMessage(&m);
        waitMessage(20);
    }
    double after = residentMiB();
    std::printf("resident memory of an idle program with one full-screen dialog:\n");
    std::printf("  baseline (same process before any window): %5.1f MiB\n", before);
    std::printf("  with the dialog shown and idle:            %5.1f MiB  (target < 20 MiB: %s)\n", after,
                after < 20 ? "met" : "MISSED");
    return 0;
}
