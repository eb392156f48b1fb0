// `hu mcu-flash DIR [--file HOSTFILE] [--chip 0|1] [--no-entry] [--verbose]`: programs the MCU
// of a head unit with McuLoaderDLL exactly as the updater's MCU page does — the board's lines
// into programming mode on 0x8000 (unless --no-entry), "COM5:", the image on the SD card
// unless --file names another — and shows the phases and a progress bar. Exit 0 on success.
//
// The MCU behind dev/COM5 may be the simulator (hu sim DIR mcu) or a real one on a USB serial
// adapter linked there. Every failure is one line that says what went wrong and what to do;
// the library's own lines go to log/hu.log (and to the terminal with --verbose). The image is
// checked before the MCU is put into programming mode. Ctrl-C stops the update and says what
// state the MCU's flash was left in.

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include <fmt/format.h>

#include "mcu_loader/McuLoaderDLL.h"
#include "platform/core/debug.h"
#include "platform/core/files.h"
#include "platform/core/profile.h"
#include "platform/core/text.h"
#include "platform/core/time.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "tools/hu/cli_support.h"
#include "tools/hu/commands.h"
#include "tools/hu/head_unit_arg.h"
#include "tools/hu/quiet_stderr.h"
#include "updater/mcu_programming_lines.h"

namespace hu {

namespace {

constexpr const char* kDefaultImage = "\\SDMMC Card\\UpdateXan\\MICOM.BIN";

enum Phase : unsigned { kConnecting = 0, kErasing = 1, kWriting = 2, kVerifying = 3 };

struct FlashOptions {
    std::string dir;
    std::string hostFile;
    int chip = 0;
    bool entry = true;
    bool verbose = false;
};

const char* phaseName(unsigned phase) {
    switch (phase) {
        case kConnecting: return "connecting";
        case kErasing: return "blank check and erase";
        case kWriting: return "writing";
        case kVerifying: return "verifying";
        default: return "done";
    }
}

std::atomic<bool> g_interrupted{false};
void interrupt(int) { g_interrupted = true; }

// The terminal's view of the run: one line per phase, a bar for the block position.
class Progress {
public:
    explicit Progress(bool tty) : tty_(tty) {}
    void phase(unsigned p) {
        endBar();
        phase_ = p;
        std::printf("mcu: %s\n", phaseName(p));
        std::fflush(stdout);
    }
    void position(unsigned pos) {
        position_ = pos;
        if (!tty_) return;
        constexpr int kWidth = 40;
        int filled = static_cast<int>(std::min(pos, 240u) * kWidth / 240);
        std::printf("\r  [%.*s%.*s] %3u/240", filled, "########################################", kWidth - filled,
                    "........................................", pos);
        std::fflush(stdout);
        barShown_ = true;
    }
    void endBar() {
        if (barShown_) std::printf("\n");
        barShown_ = false;
    }
    unsigned lastPhase() const { return phase_; }
    unsigned lastPosition() const { return position_; }

private:
    bool tty_;
    bool barShown_ = false;
    unsigned phase_ = kConnecting;
    unsigned position_ = 0;
};

// The MCU's flash size, from the signature line the library logs once it has connected.
uint64_t flashSizeFrom(const std::string& debug) {
    const std::string mark = "$ LAST ADD : ";
    const size_t at = debug.rfind(mark);
    if (at == std::string::npos) return 0;
    return std::strtoull(debug.c_str() + at + mark.size(), nullptr, 16) + 1;
}

std::string blockText(const Progress& progress, uint64_t flashSize) {
    const uint64_t blocks = flashSize / 256;
    const uint64_t block = blocks > 0 ? std::min<uint64_t>(progress.lastPosition() + 1, blocks) : progress.lastPosition() + 1;
    return flashSize >= 256 ? fmt::format("block {} of {}", block, blocks) : fmt::format("block {}", block);
}

// What an interruption or a failure left in the MCU's flash, by the phase it happened in.
std::string flashState(const Progress& progress) {
    switch (progress.lastPhase()) {
        case kConnecting: return "the MCU's flash was not touched";
        case kErasing: return "the MCU's flash may be partly erased; run hu mcu-flash again";
        case kWriting: return "the MCU's flash is partly written; run hu mcu-flash again";
        case kVerifying: return "the MCU's flash is written but not verified; run hu mcu-flash again";
        default: return "the MCU's flash holds the image";
    }
}

std::string interruptedLine(const Progress& progress, uint64_t flashSize) {
    const std::string where = progress.lastPhase() == kWriting ? "while writing " + blockText(progress, flashSize)
                                                                : std::string("while ") + phaseName(progress.lastPhase());
    return "interrupted " + where + ": " + flashState(progress);
}

std::string failureLine(const Progress& progress, uint64_t flashSize, const std::string& debug, const std::string& image) {
    if (debug.find("ERROR : CreateFile Failed") != std::string::npos) return "cannot read the image " + image;
    switch (progress.lastPhase()) {
        case kConnecting:
            if (debug.find("Fail : MSiliconSignatureCmd") != std::string::npos)
                return "the MCU's signature is not one the library knows (is --chip right?): " + flashState(progress);
            if (debug.find("Fail : MOsc_Freq_Setting") != std::string::npos || debug.find("Fail : MBaudRate_Setting") != std::string::npos)
                return "the MCU did not take the faster line rate (is --chip right?): " + flashState(progress);
            return "the MCU did not answer: check that it runs (hu sim DIR mcu) and is in programming mode (without --no-entry "
                   "the board puts it there): " + flashState(progress);
        case kErasing: return "the MCU failed the blank check or the erase: " + flashState(progress);
        case kWriting: return "the MCU did not take " + blockText(progress, flashSize) + ": " + flashState(progress);
        case kVerifying: return "the MCU's flash does not match the image; run hu mcu-flash again";
        default: return "the update failed; run hu mcu-flash again";
    }
}

// One line when the image and the flash differ in size: what the library does with the rest.
void reportSizeDifference(uint64_t imageSize, uint64_t flashSize) {
    if (flashSize == 0 || imageSize == flashSize) return;
    if (imageSize < flashSize)
        std::printf("mcu: the image has %llu bytes, the flash %llu: the last %llu bytes were programmed as zeros\n",
                    (unsigned long long)imageSize, (unsigned long long)flashSize, (unsigned long long)(flashSize - imageSize));
    else
        std::printf("mcu: the image has %llu bytes, the flash %llu: its last %llu bytes were left out\n",
                    (unsigned long long)imageSize, (unsigned long long)flashSize, (unsigned long long)(imageSize - flashSize));
}

}  // namespace

int cmdMcuFlash(const Args& args) {
    FlashOptions o;
    bool noEntry = false;
    cli::Parser parser("hu mcu-flash", "program the MCU through COM5 as the updater's MCU page does");
    parser.headUnit(o.dir)
        .text("--file", "HOSTFILE", o.hostFile, "the image to write (default: MICOM.BIN of the package on the SD card)")
        .number("--chip", "N", o.chip, 0, 1, "the MCU's chip variant, 0 or 1 (0)")
        .flag("--no-entry", noEntry, "leave the board's lines alone: the MCU is already in programming mode")
        .flag("--verbose", o.verbose, "the library's own lines on the terminal too (always in log/hu.log)");
    if (auto status = parser.parse(args)) return *status;
    o.entry = !noEntry;
    auto headUnit = enterHeadUnit(o.dir, "hu mcu-flash");
    if (!headUnit) return 1;
    const auto root = *headUnit;
    const std::string log = (root / "log" / ((ce::programName().empty() ? std::string("hu") : ce::programName()) + ".log")).string();

    // The image, before the MCU is put into programming mode.
    std::string image = kDefaultImage;
    if (!o.hostFile.empty()) {
        auto device = hostFileDevicePath(o.hostFile, "hu mcu-flash");
        if (!device) return 1;
        image = *device;
    }
    auto file = ce::File::open(image, ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING);
    if (!file) {
        std::fprintf(stderr, "hu mcu-flash: no MCU image at %s: build a package (hu package DIR) or name one with --file HOSTFILE\n",
                     image.c_str());
        return 1;
    }
    const uint64_t imageSize = (*file)->size().valueOr(0);
    file.value().reset();
    if (imageSize == 0) {
        std::fprintf(stderr, "hu mcu-flash: the image %s is empty: it holds no firmware\n", image.c_str());
        return 1;
    }
    if (!std::filesystem::exists(ce::Profile::current().value()->serialDevice("COM5:"))) {
        std::fprintf(stderr, "hu mcu-flash: no MCU linked at dev/COM5: start hu sim DIR mcu\n");
        return 1;
    }

    // The library's debug lines go to log/hu.log; on the terminal only with --verbose.
    QuietStderr quietStderr(o.verbose);
    ce::DebugCapture capture;
    Progress progress(::isatty(1));
    int result = -1;
    const ce::UINT message = ce::registerWindowMessage("MICOM_UPDATE");
    ce::Window listener;
    listener.on(message, [&](ce::WPARAM w, ce::LPARAM) -> ce::LRESULT {
        if (w & 0x8000) {
            if ((w & 0xFF) == 0 && o.entry) updater::EnterMcuProgrammingMode();
            progress.phase(w & 0xFF);
        } else if (!(w & 0x4000)) {
            progress.position(static_cast<unsigned>(w & 0xFFF));
        } else if ((w & 0xFF) <= 1) {
            progress.endBar();
            result = static_cast<int>(w & 0xFF);
        }
        return 1;
    });
    ce::WindowSpec window;
    window.className = "McuFlashListener";
    window.title = "hu mcu-flash";
    window.style = ce::WS_POPUP;
    if (listener.create(window) != ce::ERROR_SUCCESS) {
        quietStderr.restore();
        std::fprintf(stderr, "hu mcu-flash: cannot join the head unit's desktop\n");
        return 1;
    }

    g_interrupted = false;
    auto previousInt = std::signal(SIGINT, interrupt);
    auto previousTerm = std::signal(SIGTERM, interrupt);
    if (o.entry) updater::SwitchOnMcuProgrammingSupply();
    ce::sleep(50);
    const bool started = StartUpdateMicom(u"COM5:", ce::toUtf16(image).c_str(), o.chip) != 0;
    while (started && result < 0 && !g_interrupted) {
        ce::waitMessage(100);
        ce::Msg msg;
        while (ce::peekMessage(&msg)) ce::dispatchMessage(&msg);
    }
    StopUpdateMicom();
    listener.destroy();
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);

    quietStderr.restore();
    const std::string debug = capture.text();
    const uint64_t flashSize = flashSizeFrom(debug);
    if (g_interrupted && result < 0) {
        progress.endBar();
        std::fprintf(stderr, "hu mcu-flash: %s\n", interruptedLine(progress, flashSize).c_str());
        return 130;
    }
    if (!started) {
        std::fprintf(stderr, "hu mcu-flash: cannot open COM5: (dev/COM5): is another program using it? (log: %s)\n", log.c_str());
        return 1;
    }
    if (result == 0) {
        reportSizeDifference(imageSize, flashSize);
        std::printf("mcu: programmed from %s\n", image.c_str());
        return 0;
    }
    std::fprintf(stderr, "hu mcu-flash: %s (log: %s)\n", failureLine(progress, flashSize, debug, image).c_str(), log.c_str());
    return 1;
}

}  // namespace hu
