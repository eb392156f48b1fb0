// bt_dfu_bench: downloads a 200 KiB Bluetooth image into the simulated module, which carries
// every byte at the line rate (115200 baud, 8E1), and compares the download with the line-rate
// limit. The baseline, measured in the same run, is the same number of bytes sent raw over a
// paced line. Also reports the worker's share of one core while it runs.
//
//   bt_dfu_bench [KIB]      (default 200)

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "sim/bluetooth/bluetooth_module.h"
#include "sim/headunit/headunit.h"
#include "platform/devices/serial_port.h"
#include "sim/pty/pty_endpoint.h"
#include "updater/bluetooth/dfu_exports.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

// The module in a process of its own, so that this process's CPU time is the engine's.
pid_t startModule(const std::filesystem::path& root) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    sim::bluetooth::ModuleOptions options;
    std::string error;
    if (!sim::bluetooth::LoadModuleOptions(root, {"--dfu-mode", "--paced"}, options, error)) _exit(2);
    sim::bluetooth::BluetoothModule module(options);
    static std::atomic<bool> stop{false};
    signal(SIGTERM, [](int) { stop = true; });
    module.run(stop);
    _exit(0);
}

// Seconds to carry `bytes` over a line paced at 115200 8E1 (11 bits a character), measured:
// the baseline the download is compared with.
double rawLineSeconds(const std::filesystem::path& dir, size_t bytes) {
    sim::PtyEndpoint line(dir / "raw");
    auto port = ce::SerialPort::openHost((dir / "raw").string(), 0);
    ce::Dcb dcb;
    dcb.BaudRate = 115200;
    dcb.Parity = ce::EVENPARITY;
    dcb.fParity = true;
    (*port)->setState(dcb);
    ce::CommTimeouts timeouts;
    timeouts.ReadIntervalTimeout = 0xFFFFFFFF;
    (*port)->setTimeouts(timeouts);
    std::thread drain([&] {
        std::vector<uint8_t> buffer(4096);
        size_t got = 0;
        while (got < bytes) {
            uint32_t n = 0;
            (*port)->read(buffer.data(), static_cast<uint32_t>(buffer.size()), &n);
            got += n;
            if (n == 0) std::this_thread::sleep_for(1ms);
        }
    });
    const auto perChar = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(11.0 / 115200));
    std::vector<uint8_t> data(bytes, 0x55);
    auto start = Clock::now();
    size_t sent = 0;
    while (sent < bytes) {
        std::this_thread::sleep_until(start + perChar * static_cast<long>(sent + 1));
        size_t due = static_cast<size_t>((Clock::now() - start) / perChar);
        due = std::min(std::max(due, sent + 1), bytes);
        line.write(data.data() + sent, due - sent);
        sent = due;
    }
    drain.join();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    size_t kib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
    if (kib == 0) kib = 200;
    sim::TempHeadUnit unit;
    if (std::getenv("BT_BENCH_KEEP")) unit.keep();
    std::vector<uint8_t> image(kib * 1024 + 16);
    uint32_t x = 7;
    for (auto& b : image) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
    std::filesystem::create_directories(unit.sdcard() / "UpdateXan");
    std::ofstream(unit.sdcard() / "UpdateXan" / "BT.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    const size_t firmware = image.size() - 16;

    std::printf("bt_dfu_bench: %zu KiB image, module paced at 115200 baud 8E1\n", kib);
    double raw = rawLineSeconds(unit.root(), firmware);

    pid_t module = startModule(unit.root());
    for (int i = 0; i < 200 && !std::filesystem::exists(unit.root() / "dev" / "COM2"); ++i) std::this_thread::sleep_for(10ms);

    // The engine's own lines go to the head unit's log only, not to the terminal.
    std::fflush(stderr);
    int savedStderr = ::dup(2);
    if (FILE* null = std::fopen("/dev/null", "w")) {
        ::dup2(::fileno(null), 2);
        std::fclose(null);
    }
    auto restoreStderr = [&] {
        std::fflush(stderr);
        ::dup2(savedStderr, 2);
    };

    if (open_port(u"COM2:") != 1) {
        restoreStderr();
        std::fprintf(stderr, "bt_dfu_bench: cannot open COM2:\n");
        kill(module, SIGTERM);
        return 1;
    }
    setting_port(2, 0);
    open_update();
    double cpuBefore = cpuSeconds(RUSAGE_SELF) - cpuSeconds(RUSAGE_THREAD);
    start_update();
    auto started = Clock::now();
    Clock::time_point firstBlock{}, done{};
    BtDfuStatus status{};
    while (Clock::now() - started < 600s) {
        get_status(&status);
        if (status.blocksSent > 0 && firstBlock == Clock::time_point{}) firstBlock = Clock::now();
        if (status.done) {
            done = Clock::now();
            break;
        }
        std::this_thread::sleep_for(2ms);
    }
    // The worker has ended (or is about to): wait for it so that its CPU time is counted.
    for (int i = 0; i < 100 && bluetooth::DfuWorkerResult() == 1; ++i) std::this_thread::sleep_for(2ms);
    auto figures = bluetooth::CurrentDfuFigures();
    double workerCpu = cpuSeconds(RUSAGE_SELF) - cpuSeconds(RUSAGE_THREAD) - cpuBefore;
    kill(module, SIGTERM);
    waitpid(module, nullptr, 0);
    bluetooth::StopDfuEngine();
    restoreStderr();

    if (!status.done) {
        std::fprintf(stderr, "bt_dfu_bench: the download did not finish (%u blocks sent)\n", status.blocksSent);
        return 1;
    }
    std::ifstream received(unit.root() / "flash" / "bt_image.bin", std::ios::binary);
    std::vector<uint8_t> got((std::istreambuf_iterator<char>(received)), {});
    bool identical = got.size() == firmware && std::equal(got.begin(), got.end(), image.begin());

    double total = std::chrono::duration<double>(done - started).count();
    double download = std::chrono::duration<double>(done - firstBlock).count();
    double limit = firmware * figures.characterSeconds;
    unsigned blocks = status.blocksSent;
    double sending = figures.bytesWritten * figures.characterSeconds;
    double fixed = figures.delayedWaitMs / 1000.0;
    double waiting = total - sending - fixed;

    std::printf("  line-rate limit (computed): %8.2f s  (%zu firmware bytes x %.1f us)\n", limit, firmware,
                figures.characterSeconds * 1e6);
    std::printf("  baseline, raw paced line:   %8.2f s\n", raw);
    std::printf("  download (first block to success): %8.2f s  -> %.1f %% of the line rate (target >= 70 %%)\n",
                download, 100.0 * limit / download);
    std::printf("  whole run from start_update:       %8.2f s  -> %.1f %% of the line rate\n", total,
                100.0 * limit / total);
    std::printf("  per block (%u blocks): %.2f ms = sending %.2f ms + waiting for answers %.2f ms + fixed delays %.2f ms\n",
                blocks, 1000 * total / blocks, 1000 * sending / blocks, 1000 * waiting / blocks, 1000 * fixed / blocks);
    std::printf("  line bytes: %llu host->module, %llu module->host\n",
                static_cast<unsigned long long>(figures.bytesWritten), static_cast<unsigned long long>(figures.bytesRead));
    std::printf("  worker CPU: %.2f s of %.2f s = %.1f %% of one core (target < 25 %%)\n", workerCpu, total,
                100.0 * workerCpu / total);
    std::printf("  image received %s\n", identical ? "byte-identical" : "DIFFERENT");
    bool ok = identical && limit / download >= 0.70 && workerCpu / total < 0.25;
    std::printf("bt_dfu_bench: %s\n", ok ? "targets met" : "TARGETS MISSED");
    return ok ? 0 : 1;
}
