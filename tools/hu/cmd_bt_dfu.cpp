// `hu bt-dfu DIR [--file HOSTFILE] [--verbose]`: updates the Bluetooth module of a head unit
// with the DFU engine exactly as the updater's Bluetooth page does — "COM2:", the module's
// 25-byte command at no parity, the board's line 0x08 on port 2, BCSP at even parity, then the
// engine — with the image on the SD card unless --file names another. Shows the blocks sent
// in the terminal; exit 0 once the module reports success.
//
// The module behind dev/COM2 may be the simulator (hu sim DIR bluetooth) or a real one on a
// USB serial adapter linked there. A missing image, or one too small to hold firmware, is
// refused before the module is contacted; Ctrl-C stops the download and says how far it got.

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/core/debug.h"
#include "platform/core/files.h"
#include "platform/core/profile.h"
#include "platform/core/time.h"
#include "tools/hu/head_unit_arg.h"
#include "tools/hu/quiet_stderr.h"
#include "tools/hu/cli_support.h"
#include "tools/hu/commands.h"
#include "updater/bluetooth/dfu_exports.h"
#include "updater/gpio_request.h"

namespace hu {

namespace {

// As the page: no block by the ninth second of progress, or no new block for a minute.
constexpr int kFirstBlockSeconds = 9;
constexpr int kStallSeconds = 60;

struct BtOptions {
    std::string dir;
    std::string hostFile;
    bool verbose = false;
};

// Below this an image holds no firmware: the DFU suffix alone takes 16 bytes.
constexpr uint64_t kDfuSuffixBytes = 16;

std::atomic<bool> g_interrupted{false};
void interrupt(int) { g_interrupted = true; }

// Waits ms in short steps; false as soon as Ctrl-C came.
bool pause(uint32_t ms) {
    for (uint32_t waited = 0; waited < ms && !g_interrupted; waited += 100) ce::sleep(100);
    return !g_interrupted;
}

void showBar(bool tty, uint32_t blocks, int expected, int seconds) {
    if (!tty) return;
    constexpr int kWidth = 40;
    int filled = expected > 0 ? static_cast<int>(std::min<uint64_t>(blocks, expected) * kWidth / expected) : 0;
    std::printf("\r  [%.*s%.*s] %u/%d blocks, %d s", filled, "########################################",
                kWidth - filled, "........................................", blocks, expected, seconds);
    std::fflush(stdout);
}

// The engine's own words for why nothing moved, from its log lines.
std::string reasonFrom(const std::string& log, uint32_t blocks) {
    if (log.find("Cannot open com port") != std::string::npos)
        return "cannot open COM2: (no module linked at dev/COM2: start hu sim DIR bluetooth or link an adapter)";
    if (log.find("Cannot open file[") != std::string::npos) return "the image holds no firmware";
    if (blocks == 0) return "the module did not answer (no BCSP link)";
    return "the download stopped after " + std::to_string(blocks) + " blocks (module in an error state?)";
}

}  // namespace

int cmdBtDfu(const Args& args) {
    BtOptions o;
    cli::Parser parser("hu bt-dfu", "update the Bluetooth module through COM2 as the updater's Bluetooth page does");
    parser.headUnit(o.dir)
        .text("--file", "HOSTFILE", o.hostFile, "the image to send, with its DFU suffix (default: BT.bin of the package on the SD card)")
        .flag("--verbose", o.verbose, "the engine's own lines on the terminal too (always in log/hu.log)");
    if (auto status = parser.parse(args)) return *status;
    auto headUnit = enterHeadUnit(o.dir, "hu bt-dfu");
    if (!headUnit) return 1;
    const auto root = *headUnit;

    if (!o.hostFile.empty()) {
        auto device = hostFileDevicePath(o.hostFile, "hu bt-dfu");
        if (!device) return 1;
        bluetooth::SetDfuImagePath(*device);
    }
    const std::string image = bluetooth::DfuImagePath();

    // The image, before the module is contacted.
    auto file = ce::File::open(image, ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING);
    if (!file) {
        std::fprintf(stderr, "hu bt-dfu: no Bluetooth image at %s: build a package (hu package DIR) or name one with --file HOSTFILE\n",
                     image.c_str());
        return 1;
    }
    const uint64_t imageSize = (*file)->size().valueOr(0);
    file.value().reset();
    if (imageSize <= kDfuSuffixBytes) {
        std::fprintf(stderr, "hu bt-dfu: the image %s has %llu bytes: too small to hold firmware and its %llu-byte DFU suffix\n",
                     image.c_str(), (unsigned long long)imageSize, (unsigned long long)kDfuSuffixBytes);
        return 1;
    }

    g_interrupted = false;
    std::signal(SIGINT, interrupt);
    std::signal(SIGTERM, interrupt);

    // The engine's lines go to log/hu.log; on the terminal only with --verbose.
    QuietStderr quietStderr(o.verbose);
    ce::DebugCapture capture;
    const bool tty = ::isatty(1);

    // The page's order: port, command at no parity, worker, image size.
    if (open_port(u"COM2:") != 1) {
        std::string log = capture.text();
        quietStderr.restore();
        std::fprintf(stderr, "hu bt-dfu: %s\n", reasonFrom(log, 0).c_str());
        return 1;
    }
    setting_port(0, 0);
    write_dfu();
    open_update();
    int count = get_fileinfo();
    if (count < 0) {
        quietStderr.restore();
        bluetooth::StopDfuEngine();
        std::fprintf(stderr, "hu bt-dfu: cannot open the image %s\n", image.c_str());
        return 1;
    }
    const int expected = count;  // the page's scale: one block per KiB of the image
    std::printf("bluetooth: updating from %s (%d KiB)\n", image.c_str(), count);
    std::fflush(stdout);

    pause(1000);
    updater::GpioSetRequest(2, 0x08, 1);
    uint8_t answer[25] = {};
    read_dfu(answer, sizeof answer);
    pause(1000);
    setting_port(2, 0);  // BCSP: even parity
    pause(1000);
    if (!g_interrupted) start_update();

    auto started = std::chrono::steady_clock::now();
    BtDfuStatus status{};
    uint32_t lastBlocks = 0;
    int quiet = 0;
    bool done = false;
    for (int second = 1;; ++second) {
        if (!pause(1000)) break;
        get_status(&status);
        showBar(tty, status.blocksSent, expected, second);
        if (status.done) {
            done = true;
            break;
        }
        if (status.blocksSent == 0 && second >= kFirstBlockSeconds) break;
        quiet = status.blocksSent == lastBlocks ? quiet + 1 : 0;
        lastBlocks = status.blocksSent;
        if (status.blocksSent > 0 && quiet >= kStallSeconds) break;
    }
    if (tty) std::printf("\n");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::string log = capture.text();
    quietStderr.restore();
    bluetooth::StopDfuEngine();
    if (done) {
        std::printf("bluetooth: module updated, %u blocks in %.1f s\n", status.blocksSent, seconds);
        return 0;
    }
    updater::GpioSetRequest(2, 0x08, 0);
    if (g_interrupted) {
        if (status.blocksSent == 0)
            std::fprintf(stderr, "hu bt-dfu: interrupted before the first block: the module's firmware is unchanged\n");
        else
            std::fprintf(stderr, "hu bt-dfu: interrupted after %u blocks: the module holds part of the image; run hu bt-dfu again\n",
                         status.blocksSent);
        return 130;
    }
    std::fprintf(stderr, "hu bt-dfu: the update failed: %s (log: %s)\n", reasonFrom(log, status.blocksSent).c_str(),
                 (root / "log" / ((ce::programName().empty() ? std::string("hu") : ce::programName()) + ".log")).c_str());
    return 1;
}

}  // namespace hu
