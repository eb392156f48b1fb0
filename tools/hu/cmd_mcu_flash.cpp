// `hu mcu-flash DIR [--file HOSTFILE] [--chip N] [--no-entry] [--verbose]`: programs the MCU of
// a head unit with McuLoaderDLL exactly as the updater's MCU page does — the board's lines
// into programming mode on 0x8000 (unless --no-entry), "COM5:", the image on the SD card
// unless --file names another — and shows the phases and a progress bar. Exit 0 on success.
//
// The MCU behind dev/COM5 may be the simulator (hu sim DIR mcu) or a real one on a USB serial
// adapter linked there.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "mcu_loader/McuLoaderDLL.h"
#include "platform/core/debug.h"
#include "platform/core/profile.h"
#include "platform/core/text.h"
#include "platform/core/time.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "tools/hu/head_unit_arg.h"
#include "tools/hu/quiet_stderr.h"
#include "tools/hu/commands.h"
#include "updater/mcu_programming_lines.h"

namespace hu {

namespace {

constexpr const char* kDefaultImage = "\\SDMMC Card\\UpdateXan\\MICOM.BIN";

struct FlashOptions {
    std::string dir;
    std::string hostFile;
    int chip = 0;
    bool entry = true;
    bool verbose = false;
};

bool parse(const Args& args, FlashOptions& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        if (a == "--file" && hasValue) o.hostFile = args[++i];
        else if (a == "--chip" && hasValue) o.chip = std::atoi(args[++i].c_str());
        else if (a == "--no-entry") o.entry = false;
        else if (a == "--verbose") o.verbose = true;
        else if (o.dir.empty() && a.rfind("--", 0) != 0) o.dir = a;
        else return false;
    }
    return !o.dir.empty();
}

const char* phaseName(unsigned phase) {
    switch (phase) {
        case 0: return "connecting";
        case 1: return "blank check and erase";
        case 2: return "writing";
        case 3: return "verifying";
        default: return "done";
    }
}

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
        if (!tty_) return;
        constexpr int kWidth = 40;
        int filled = static_cast<int>(pos * kWidth / 240);
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

private:
    bool tty_;
    bool barShown_ = false;
    unsigned phase_ = 0;
};

// The library's own words for why it failed, from its debug lines.
std::string failureReason(const std::string& debug) {
    std::string reason;
    auto lineWith = [&](const std::string& prefix) {
        size_t at = debug.rfind(prefix);
        if (at == std::string::npos) return std::string();
        size_t end = debug.find_first_of("\r\n", at);
        std::string line = debug.substr(at, end == std::string::npos ? std::string::npos : end - at);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        return line;
    };
    for (const char* prefix : {"= UPDATEMICOM : Connection FAILED!!", "- Fail : ", "ERROR : ", "??? Error code : "}) {
        std::string line = lineWith(prefix);
        if (line.empty()) continue;
        if (!reason.empty()) reason += "; ";
        reason += line;
    }
    return reason.empty() ? "no reason given" : reason;
}

}  // namespace

int cmdMcuFlash(const Args& args) {
    FlashOptions o;
    if (!parse(args, o)) {
        std::fprintf(stderr, "usage: hu mcu-flash DIR [--file HOSTFILE] [--chip N] [--no-entry] [--verbose]\n");
        return 2;
    }
    auto headUnit = enterHeadUnit(o.dir, "hu mcu-flash");
    if (!headUnit) return 1;
    const auto root = *headUnit;

    std::string image = kDefaultImage;
    if (!o.hostFile.empty()) {
        auto device = hostFileDevicePath(o.hostFile, "hu mcu-flash");
        if (!device) return 1;
        image = *device;
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
            ce::postQuitMessage(0);
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

    if (o.entry) updater::SwitchOnMcuProgrammingSupply();
    ce::sleep(50);
    StartUpdateMicom(u"COM5:", ce::toUtf16(image).c_str(), o.chip);
    ce::Msg msg;
    while (result < 0 && ce::getMessage(&msg)) ce::dispatchMessage(&msg);
    StopUpdateMicom();
    listener.destroy();

    quietStderr.restore();
    if (result == 0) {
        std::printf("mcu: programmed from %s\n", image.c_str());
        return 0;
    }
    std::fprintf(stderr, "hu mcu-flash: the MCU update failed while %s: %s (log: %s)\n",
                 phaseName(progress.lastPhase()), failureReason(capture.text()).c_str(),
                 (root / "log" / ((ce::programName().empty() ? std::string("hu") : ce::programName()) + ".log")).c_str());
    return 1;
}

}  // namespace hu
