// mcu_flash_bench: programs a 60 KiB image (last address 0xEFFF, 240 blocks) into the
// simulated MCU with McuLoaderDLL, run as the MCU page runs it, and compares the time with the
// floor the run cannot go below in the same run:
//   - the procedure's own fixed sleeps and waits (200 ms before the synchronisation, 1000 ms
//     after the oscillator command, 10 ms pauses between steps, 1 ms before each data frame,
//     the receive thread's 10 ms pause after each read that brings an answer, 40 ms of the
//     page's programming-mode sequence), plus
//   - the simulator's answer time (erase, programming of each block, internal verify, blank
//     check);
// and, with the simulator pacing every byte at the line rate, the same floor plus the time
// every frame of the run takes on the line. Also reports this process's share of one core
// while the library runs (the simulator runs in a process of its own). The MCU's flash must
// hold the image after every run before a figure is printed; the unpaced and paced runs are
// taken in turn, each at least five times, median and spread.
//
//   mcu_flash_bench [--unpaced-only | --paced-only] [--keep]

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "bench/bench_support.h"
#include "mcu_loader/McuLoaderDLL.h"
#include "platform/core/time.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "sim/headunit/headunit.h"
#include "sim/mcu/mcu_simulator.h"
#include "updater/gpio_request.h"
#include "updater/mcu_programming_lines.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

// The simulator in a process of its own, so that this process's CPU time is the library's.
pid_t startSimulator(const fs::path& root, const sim::mcu::McuOptions& options) {
    fs::remove(root / "dev" / "COM5");
    pid_t pid = fork();
    if (pid != 0) {
        while (!fs::is_symlink(root / "dev" / "COM5")) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return pid;
    }
    static std::atomic<bool> stop{false};
    signal(SIGTERM, [](int) { stop = true; });
    {
        sim::mcu::McuSimulator mcu(root, options);
        while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    _exit(0);
}

// The floor of one run: every delay on the run's critical path that the procedure or the
// simulator sets itself, each a sleep or a wait of fixed length; with pacing, also the line
// time of every byte that crosses (chip 0: 9600 baud until the oscillator command, 115200
// after it; 10 bits a character).
struct Delay {
    double ms;
    double count;
};

std::vector<Delay> procedureDelays(const sim::mcu::McuOptions& o) {
    const double blocks = (o.lastAddress + 1) / 256.0;
    const double pump = 10;  // the receive thread's pause after the read that brings an answer
    return {
        {10, 2}, {20, 1},                 // the page's programming-mode sequence
        {200, 1}, {2, 1}, {pump, 1},      // wait, synchronisation, reset answer
        {10, 1}, {8, 1}, {1000, 1},       // oscillator command, rate switch, settling
        {10, 3}, {pump, 1}, {10, 1},      // pauses, signature answer (its 10 ms sleep overlaps)
        {pump, 1}, {1000, 1}, {100, 1}, {pump, 1},  // blank check refused (its wait runs out), erase
        {10, 1}, {pump, 1}, {1, blocks}, {pump, blocks},  // write pass
        {10, 1}, {pump, 1}, {1, blocks}, {pump, blocks},  // verify pass
    };
}

std::vector<Delay> simulatorDelays(const sim::mcu::McuOptions& o) {
    const double blocks = (o.lastAddress + 1) / 256.0;
    return {{static_cast<double>(o.blankCheckMs), 1},
            {static_cast<double>(o.eraseMs), 1},
            {static_cast<double>(o.blockMs), blocks},
            {static_cast<double>(o.internalVerifyMs), 1}};
}

double lineMs(const sim::mcu::McuOptions& o) {
    const double blocks = (o.lastAddress + 1) / 256.0;
    auto line = [](double bytes, double baud) { return bytes * 10 * 1000 / baud; };
    const double slow = 9600, fast = 115200;
    return line(2 + 5 + 5, slow) + line(9 + 5, slow)      // sync, reset, oscillator
           + line(5 + 5 + 26, fast)                       // signature
           + line(11 + 5, fast) + line(5 + 5, fast)       // blank check, erase
           + 2 * line(11 + 5, fast)                       // programming and verify commands
           + 2 * blocks * line(260 + 6, fast)             // both passes
           + line(5, fast);                               // internal verify
}

// How long ce::sleep(ms) takes on this machine at best: each length is measured several times
// in this run and the shortest kept, so the floor stays a floor on a busy machine too (a host
// wakes a sleeper some time after it asked). Long sleeps take the overshoot of a 20 ms one.
class SleepCalibration {
public:
    double actual(double ms) {
        if (ms <= 0) return 0;
        if (ms > 20) return ms + actual(20) - 20;
        auto it = measured_.find(ms);
        if (it != measured_.end()) return it->second;
        double best = 1e9;
        for (int i = 0; i < 25; ++i) {
            auto start = Clock::now();
            ce::sleep(static_cast<uint32_t>(ms));
            best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        return measured_[ms] = best;
    }

private:
    std::map<double, double> measured_;
};

double total(const std::vector<Delay>& delays, SleepCalibration* calibration) {
    double sum = 0;
    for (const auto& d : delays) sum += d.count * (calibration ? calibration->actual(d.ms) : d.ms);
    return sum;
}

struct Run {
    double seconds = 0;
    double cpuSeconds = 0;
    bool succeeded = false;
};

Run runOnce() {
    const ce::UINT message = ce::registerWindowMessage("MICOM_UPDATE");
    Run run;
    ce::Window listener;
    listener.on(message, [&](ce::WPARAM w, ce::LPARAM) -> ce::LRESULT {
        if (w == 0x8000) updater::EnterMcuProgrammingMode();  // as the MCU page does
        if (w == 0x4000 || w == 0x4001) {
            run.succeeded = w == 0x4000;
            ce::postQuitMessage(0);
        }
        return 1;
    });
    ce::WindowSpec window;
    window.className = "McuBenchListener";
    window.style = ce::WS_POPUP;
    listener.create(window);

    double cpuBefore = cpuSeconds();
    auto start = Clock::now();
    StartUpdateMicom(u"COM5:", u"\\SDMMC Card\\UpdateXan\\MICOM.BIN", 0);
    ce::Msg msg;
    while (ce::getMessage(&msg)) ce::dispatchMessage(&msg);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.cpuSeconds = cpuSeconds() - cpuBefore;
    StopUpdateMicom();
    return run;
}

// One programming run against a fresh simulator; the flash must hold the image afterwards.
Run measureOnce(const fs::path& root, bool paced, const std::vector<uint8_t>& image) {
    sim::mcu::McuOptions options;  // 0xEFFF, 240 blocks, old firmware to erase, default timing
    options.paced = paced;
    pid_t sim = startSimulator(root, options);
    Run run = runOnce();
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
    bench::Require(run.succeeded, std::string(paced ? "paced" : "unpaced") + " programming reported failure");
    std::ifstream in(sim::mcu::McuSimulator::flashFile(root), std::ios::binary);
    std::vector<uint8_t> flash((std::istreambuf_iterator<char>(in)), {});
    bench::Require(flash.size() >= image.size() && std::equal(image.begin(), image.end(), flash.begin()),
                   "the MCU's flash does not hold the image");
    return run;
}

bool report(const std::vector<Run>& runs, bool paced, SleepCalibration& calibration) {
    sim::mcu::McuOptions options;
    options.paced = paced;
    bench::Samples seconds, cpu;
    for (const Run& run : runs) {
        seconds.values.push_back(run.seconds);
        cpu.values.push_back(run.cpuSeconds / run.seconds);
    }
    const double line = paced ? lineMs(options) : 0;
    const double nominal = total(procedureDelays(options), nullptr) + total(simulatorDelays(options), nullptr) + line;
    const double onThisHost =
        total(procedureDelays(options), &calibration) + total(simulatorDelays(options), &calibration) + line;
    const double ratio = seconds.median() * 1000 / onThisHost;
    const double cpuShare = cpu.median() * 100;
    std::printf("  %s: programmed in %s\n", paced ? "paced at the line rate" : "unpaced", seconds.describe(1, "s", 3).c_str());
    std::printf("    floor: procedure %.3f s + simulator %.3f s%s = %.3f s nominal, %.3f s with this host's sleeps\n",
                total(procedureDelays(options), nullptr) / 1000, total(simulatorDelays(options), nullptr) / 1000,
                paced ? fmt::format(" + line {:.3f} s", line / 1000).c_str() : "", nominal / 1000, onThisHost / 1000);
    if (paced) {
        // An answer paced at the line rate trickles in: the receive thread reads its first
        // bytes, pauses 10 ms, reads the rest and pauses again. No target here; the figure
        // says how close the run comes to what the line allows.
        std::printf("    time / line-rate floor: %.3f (nominal %.3f)\n", ratio, seconds.median() * 1000 / nominal);
    } else {
        std::printf("    time / floor: %.3f (nominal %.3f); target <= 1.15: %s\n", ratio,
                    seconds.median() * 1000 / nominal, ratio <= 1.15 ? "ok" : "MISSED");
    }
    std::printf("    library CPU: %s of one core; target < 5 %%: %s\n", cpu.describe(100, "%", 2).c_str(),
                cpuShare < 5 ? "ok" : "MISSED");
    return (paced || ratio <= 1.15) && cpuShare < 5;
}

}  // namespace

int main(int argc, char** argv) {
    bool unpaced = true, paced = true, keep = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--unpaced-only")) paced = false;
        if (!std::strcmp(argv[i], "--paced-only")) unpaced = false;
        if (!std::strcmp(argv[i], "--keep")) keep = true;  // keep the head unit with its logs
    }

    bench::PrintHeading("mcu_flash_bench", "60 KiB image, last address 0xEFFF, 240 blocks, chip 0");
    bench::QuietProgramOutput();  // the library's lines go to the head unit's log
    sim::TempHeadUnit unit;
    if (keep) unit.keep();
    std::vector<uint8_t> image(0xF000);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 31 + (i >> 8));
    fs::create_directories(unit.sdcard() / "UpdateXan");
    std::ofstream(unit.sdcard() / "UpdateXan" / "MICOM.BIN", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));

    std::vector<Run> unpacedRuns, pacedRuns;
    std::vector<std::function<double()>> measurements;
    if (unpaced) measurements.push_back([&] { unpacedRuns.push_back(measureOnce(unit.root(), false, image)); return 0.0; });
    if (paced) measurements.push_back([&] { pacedRuns.push_back(measureOnce(unit.root(), true, image)); return 0.0; });
    bench::Interleaved(bench::Runs(), measurements);

    SleepCalibration calibration;
    bool ok = true;
    if (unpaced) ok = report(unpacedRuns, false, calibration) && ok;
    if (paced) ok = report(pacedRuns, true, calibration) && ok;
    bench::PrintMachineAfter();
    return ok ? 0 : 1;
}
