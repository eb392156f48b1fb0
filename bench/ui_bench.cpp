// ui_bench: figures of the window system against a baseline measured in the same run.
//
//   1. Cross-thread sendMessage round trip (target: median below 50 us), against the same
//      ping-pong between two threads done with a bare mutex and condition variable.
//   2. Resident memory of a program idling with one full-screen dialog (target: below 20 MiB),
//      against the same process before it created any window.
// Every send must come back with its answer before a figure is printed. The round trips are
// measured in turn, at least five runs of each, and shown as the median of the runs' medians
// with the spread, beside the machine's core count and load.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "sim/headunit/headunit.h"

using namespace ce;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 5000;
int wrongAnswers = 0;

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
        if (r != i + 1) ++wrongAnswers;
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
    bench::PrintHeading("ui_bench", "the window system against a bare baseline");
    sim::TempHeadUnit unit;  // a real desktop: window index, sockets, shared pixels
    double before = residentMiB();

    bench::Samples baseP99, sendP99;
    const auto runs = bench::Interleaved(bench::Runs(), {[&] {
                                                             auto us = conditionVariablePingPong();
                                                             baseP99.values.push_back(percentile(us, 0.99));
                                                             return median(us);
                                                         },
                                                         [&] {
                                                             auto us = crossThreadSend();
                                                             sendP99.values.push_back(percentile(us, 0.99));
                                                             return median(us);
                                                         }});
    bench::Require(wrongAnswers == 0, std::to_string(wrongAnswers) + " sends came back with a wrong answer");
    const double sendMedian = runs[1].median();
    std::printf("  cross-thread round trip, %d rounds a run (medians of the runs):\n", kRounds);
    std::printf("    baseline (mutex + condition variable): %s, p99 %s\n", runs[0].describe(1, "us").c_str(),
                baseP99.describe(1, "us").c_str());
    std::printf("    sendMessage to another thread's window: %s, p99 %s  (target < 50 us median: %s)\n",
                runs[1].describe(1, "us").c_str(), sendP99.describe(1, "us").c_str(), sendMedian < 50 ? "ok" : "MISSED");

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
    bench::Samples after;
    for (int i = 0; i < bench::Runs(); ++i) {
        after.values.push_back(residentMiB());
        waitMessage(20);
        Msg m;
        while (peekMessage(&m, 0, 0, 0, PM_REMOVE)) dispatchMessage(&m);
    }
    std::printf("  resident memory of an idle program with one full-screen dialog:\n");
    std::printf("    baseline (same process before any window): %5.1f MiB\n", before);
    std::printf("    with the dialog shown and idle:            %s  (target < 20 MiB: %s)\n",
                after.describe(1, "MiB").c_str(), after.median() < 20 ? "ok" : "MISSED");
    bench::PrintMachineAfter();
    return 0;
}
