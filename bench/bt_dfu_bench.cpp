// bt_dfu_bench: downloads a Bluetooth image (200 KiB by default) into the simulated module,
// which carries every byte at the line rate (115200 baud, 8E1), and compares the download with
//   - the protocol floor: every character the download's sequence must carry on the line
//     (each block's BCSP-framed download request with its escapes and CRC, the module's
//     answer, the two status requests and their answers; the final zero-length download and
//     its status; acknowledgements ride on the answers and requests, the one that cannot goes
//     out during the 10 ms wait after each block's answer) plus the sequence's fixed delays
//     (10 ms after each block's answer), computed from the image itself;
//   - the raw line rate: the firmware bytes alone, computed, and a raw paced line carrying the
//     same number of bytes, measured.
// The image must arrive byte-identical before a figure is printed. The raw line and the
// download are measured in turn, each at least five times, median and spread. Also reports
// the worker's processor time: its share of one core while it runs, and milliseconds per block
// (the share alone falls or rises with the time a block takes on the line; the time per block
// does not).
//
//   bt_dfu_bench [KIB]      (default 200)

#include <nlohmann/json.hpp>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "platform/devices/serial_port.h"
#include "sim/bluetooth/bluetooth_module.h"
#include "sim/headunit/headunit.h"
#include "sim/pty/pty_endpoint.h"
#include "updater/bluetooth/bcsp_crc.h"
#include "updater/bluetooth/dfu_exports.h"
#include "updater/bluetooth/dfu_protocol.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

constexpr double kFloorTarget = 1.10;
constexpr double kCpuTarget = 0.25;
constexpr double kStatusAfterBlockSeconds = 0.010;

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

// ---- The protocol floor ---------------------------------------------------------------------

// Characters one reliable BCSP packet on channel 12 takes on the line: the frame ends, the
// header, the payload and the CRC, each 0xC0 or 0xDB sent as two characters.
size_t frameCharacters(uint8_t seq, uint8_t ack, const Bytes& payload) {
    const uint16_t length = static_cast<uint16_t>(payload.size());
    const uint8_t b0 = static_cast<uint8_t>(0xC0 | (ack & 7) << 3 | (seq & 7));
    const uint8_t b1 = static_cast<uint8_t>(bluetooth::kDfuChannel | (length & 0x0F) << 4);
    const uint8_t b2 = static_cast<uint8_t>(length >> 4);
    Bytes frame = {b0, b1, b2, static_cast<uint8_t>(~(b0 + b1 + b2))};
    frame.insert(frame.end(), payload.begin(), payload.end());
    const uint16_t crc = bluetooth::BcspBitReverse(bluetooth::BcspCrc(frame.data(), frame.size()));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    size_t characters = 2;
    for (uint8_t b : frame) characters += (b == 0xC0 || b == 0xDB) ? 2 : 1;
    return characters;
}

Bytes setupBlock(uint8_t type, uint8_t request, uint16_t value, uint16_t length) {
    return {type, request, static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), 0, 0,
            static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)};
}

struct Floor {
    size_t characters = 0;  // on the download's critical path, both directions
    double fixedSeconds = 0;
    double seconds(double characterSeconds) const { return characters * characterSeconds + fixedSeconds; }
};

// The download from block 0 to the status that reports success, request by request. Requests
// and answers alternate, so the n-th request goes out with SEQ n and ACK n (mod 8), and the
// module's n-th answer with SEQ n and ACK n + 1. Before block 0 a module in DFU mode has
// answered four requests (status, device, function, status).
Floor protocolFloor(const Bytes& firmware, uint16_t transferSize) {
    Floor floor;
    uint8_t exchange = 4;
    auto carry = [&](const Bytes& request, const Bytes& answer) {
        floor.characters += frameCharacters(exchange, exchange, request);
        floor.characters += frameCharacters(exchange, static_cast<uint8_t>(exchange + 1), answer);
        ++exchange;
    };
    const Bytes downloadAnswer = {bluetooth::DFU_DNLOAD, 0, 0, 0};
    auto statusAnswer = [](uint8_t state) { return Bytes{bluetooth::DFU_GETSTATUS, 0, 6, 0, 0, 0, 0, 0, state, 0}; };
    const Bytes getStatus = setupBlock(0xA1, bluetooth::DFU_GETSTATUS, 0, 6);

    uint16_t block = 0;
    for (size_t at = 0; at < firmware.size(); at += transferSize, ++block) {
        const size_t size = std::min<size_t>(transferSize, firmware.size() - at);
        Bytes request = setupBlock(0x21, bluetooth::DFU_DNLOAD, block, static_cast<uint16_t>(size));
        request.insert(request.end(), firmware.begin() + static_cast<long>(at), firmware.begin() + static_cast<long>(at + size));
        carry(request, downloadAnswer);
        floor.fixedSeconds += kStatusAfterBlockSeconds;
        carry(getStatus, statusAnswer(bluetooth::DFU_STATE_DNLOAD_IDLE));
        const bool last = at + size >= firmware.size();
        if (!last) carry(getStatus, statusAnswer(bluetooth::DFU_STATE_DNLOAD_IDLE));  // releases the next block
    }
    carry(setupBlock(0x21, bluetooth::DFU_DNLOAD, block, 0), downloadAnswer);
    carry(getStatus, statusAnswer(bluetooth::DFU_STATE_DFU_IDLE));
    return floor;
}

// ---- Measurements ---------------------------------------------------------------------------

// The module in a process of its own, so that this process's CPU time is the engine's.
pid_t startModule(const fs::path& root) {
    std::error_code ec;
    fs::remove(root / "dev" / "COM2", ec);
    fs::remove(root / "flash" / "bt_image.bin", ec);
    pid_t pid = fork();
    if (pid == 0) {
        sim::bluetooth::ModuleOptions options;
        std::string error;
        if (!sim::bluetooth::LoadModuleOptions(root, {{"dfuMode", true}, {"paced", true}}, options, error)) _exit(2);
        sim::bluetooth::BluetoothModule module(options);
        static std::atomic<bool> stop{false};
        signal(SIGTERM, [](int) { stop = true; });
        module.run(stop);
        _exit(0);
    }
    for (int i = 0; i < 500 && !fs::exists(root / "dev" / "COM2"); ++i) std::this_thread::sleep_for(10ms);
    return pid;
}

// Seconds to carry `bytes` over a line paced at 115200 8E1 (11 bits a character), measured.
double rawLineSeconds(const fs::path& dir, size_t bytes) {
    sim::PtyEndpoint line(dir / "raw");
    auto port = ce::SerialPort::openHost((dir / "raw").string(), 0);
    bench::Require(port.ok(), "the raw line cannot be opened");
    ce::Dcb dcb;
    dcb.BaudRate = 115200;
    dcb.Parity = ce::EVENPARITY;
    dcb.fParity = true;
    (*port)->setState(dcb);
    ce::CommTimeouts timeouts;
    timeouts.ReadIntervalTimeout = 0xFFFFFFFF;
    (*port)->setTimeouts(timeouts);
    size_t got = 0;
    std::thread drain([&] {
        std::vector<uint8_t> buffer(4096);
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
    return bench::SecondsSince(start);
}

struct DownloadRun {
    double download = 0;  // first block to success
    double total = 0;     // start_update to success
    double workerCpu = 0;
    unsigned blocks = 0;
    bluetooth::DfuFigures figures;
};

DownloadRun downloadOnce(const fs::path& root, const Bytes& firmware) {
    const pid_t module = startModule(root);
    DownloadRun run;
    const bool opened = open_port(u"COM2:") == 1;
    if (!opened) {
        kill(module, SIGTERM);
        waitpid(module, nullptr, 0);
        bench::Require(false, "cannot open COM2:");
    }
    setting_port(2, 0);
    open_update();
    const double cpuBefore = cpuSeconds(RUSAGE_SELF) - cpuSeconds(RUSAGE_THREAD);
    start_update();
    const auto started = Clock::now();
    Clock::time_point firstBlock{}, done{};
    BtDfuStatus status{};
    while (Clock::now() - started < 600s) {
        get_status(&status);
        if (status.blocksSent > 0 && firstBlock == Clock::time_point{}) firstBlock = Clock::now();
        if (status.done) {
            done = Clock::now();
            break;
        }
        std::this_thread::sleep_for(1ms);
    }
    // The worker has ended (or is about to): wait for it so that its CPU time is counted.
    for (int i = 0; i < 100 && bluetooth::DfuWorkerResult() == 1; ++i) std::this_thread::sleep_for(2ms);
    run.figures = bluetooth::CurrentDfuFigures();
    run.workerCpu = cpuSeconds(RUSAGE_SELF) - cpuSeconds(RUSAGE_THREAD) - cpuBefore;
    bluetooth::StopDfuEngine();
    kill(module, SIGTERM);
    waitpid(module, nullptr, 0);

    bench::Require(status.done, "the download did not finish (" + std::to_string(status.blocksSent) + " blocks sent)");
    std::ifstream received(root / "flash" / "bt_image.bin", std::ios::binary);
    const Bytes got((std::istreambuf_iterator<char>(received)), {});
    bench::Require(got == firmware, "the module did not receive the image byte-identical");
    run.download = std::chrono::duration<double>(done - firstBlock).count();
    run.total = std::chrono::duration<double>(done - started).count();
    run.blocks = status.blocksSent;
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    size_t kib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
    if (kib == 0) kib = 200;
    bench::PrintHeading("bt_dfu_bench", std::to_string(kib) + " KiB image, module paced at 115200 baud 8E1");
    bench::QuietProgramOutput();  // the engine's lines go to the head unit's log only
    sim::TempHeadUnit unit;
    if (std::getenv("BT_BENCH_KEEP")) unit.keep();
    Bytes image(kib * 1024 + bluetooth::kDfuSuffixSize);
    uint32_t x = 7;
    for (auto& b : image) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
    fs::create_directories(unit.sdcard() / "UpdateXan");
    std::ofstream(unit.sdcard() / "UpdateXan" / "BT.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    const Bytes firmware(image.begin(), image.end() - bluetooth::kDfuSuffixSize);

    std::vector<DownloadRun> downloads;
    const auto runs = bench::Interleaved(bench::Runs(), {[&] { return rawLineSeconds(unit.root(), firmware.size()); },
                                                         [&] {
                                                             downloads.push_back(downloadOnce(unit.root(), firmware));
                                                             return downloads.back().download;
                                                         }});
    const bench::Samples& raw = runs[0];
    const bench::Samples& download = runs[1];
    bench::Samples total, cpuShare, cpuPerBlock;
    for (const auto& d : downloads) {
        total.values.push_back(d.total);
        cpuShare.values.push_back(d.workerCpu / d.total);
        cpuPerBlock.values.push_back(d.workerCpu / d.blocks);
    }
    const DownloadRun& last = downloads.back();
    const double characterSeconds = last.figures.characterSeconds;
    const Floor floor = protocolFloor(firmware, bluetooth::kDfuMaxTransfer);
    const double floorSeconds = floor.seconds(characterSeconds);
    const double limit = firmware.size() * characterSeconds;
    const unsigned blocks = last.blocks;
    const double perBlock = download.median() / blocks;
    const double floorPerBlock = floorSeconds / blocks;
    const double ratio = download.median() / floorSeconds;

    std::printf("  line-rate limit (computed): %8.2f s  (%zu firmware bytes x %.1f us)\n", limit, firmware.size(),
                characterSeconds * 1e6);
    std::printf("  raw paced line (measured):  %s\n", raw.describe(1, "s", 2).c_str());
    std::printf("  protocol floor (computed):  %8.2f s  = %zu characters on the line + %.2f s of fixed delays\n",
                floorSeconds, floor.characters, floor.fixedSeconds);
    std::printf("  download, first block to success: %s\n", download.describe(1, "s", 2).c_str());
    std::printf("  whole run from start_update:      %s\n", total.describe(1, "s", 2).c_str());
    std::printf("  per block (%u blocks): measured %.2f ms, protocol floor %.2f ms (%.2f ms on the line + %.2f ms fixed)\n",
                blocks, perBlock * 1e3, floorPerBlock * 1e3, floor.characters * characterSeconds / blocks * 1e3,
                floor.fixedSeconds / blocks * 1e3);
    std::printf("  download / protocol floor: %.3f (target <= %.2f) %s\n", ratio, kFloorTarget,
                ratio <= kFloorTarget ? "ok" : "MISSED");
    std::printf("  share of the raw line rate: %.1f %% (the floor allows %.1f %%)\n", 100.0 * limit / download.median(),
                100.0 * limit / floorSeconds);
    std::printf("  line bytes of the last run: %llu host->module, %llu module->host\n",
                static_cast<unsigned long long>(last.figures.bytesWritten),
                static_cast<unsigned long long>(last.figures.bytesRead));
    std::printf("  worker CPU: %s of one core (target < %.0f %%) %s\n", cpuShare.describe(100, "%").c_str(),
                kCpuTarget * 100, cpuShare.median() < kCpuTarget ? "ok" : "MISSED");
    std::printf("  worker CPU per block: %s (the whole run's processor time / blocks)\n",
                cpuPerBlock.describe(1e3, "ms", 2).c_str());
    std::printf("  image received byte-identical in every run\n");
    bench::PrintMachineAfter();
    return ratio <= kFloorTarget && cpuShare.median() < kCpuTarget ? 0 : 1;
}
