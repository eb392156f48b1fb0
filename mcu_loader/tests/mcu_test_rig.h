#pragma once
// A head unit with the simulated MCU on COM5, and a run of the library in it as the updater
// runs it: a listener window that plays the board's programming-mode sequence on 0x8000 and
// records every "MICOM_UPDATE" until the end report.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mcu_loader/McuLoaderDLL.h"
#include "platform/core/debug.h"
#include "platform/core/time.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "sim/headunit/headunit.h"
#include "sim/mcu/mcu_simulator.h"
#include "updater/mcu_programming_lines.h"

namespace mcutest {

using Bytes = std::vector<uint8_t>;

// A small flash keeps runs short: 8 KiB, 32 blocks of 256 bytes, 8 erase blocks.
inline sim::mcu::McuOptions smallMcu() {
    sim::mcu::McuOptions o;
    o.lastAddress = 0x1FFF;
    o.blockCount = 8;
    o.eraseMs = 50;
    return o;
}

inline Bytes pattern(size_t size, uint8_t seed) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(seed + i * 13 + (i >> 8));
    return b;
}

struct RunResult {
    int startResult = -1;
    std::vector<ce::WPARAM> reports;
    std::string debug;
    bool timedOut = false;

    int endReports() const {
        int n = 0;
        for (auto r : reports) n += (r == 0x4000 || r == 0x4001);
        return n;
    }
    bool succeeded() const { return !reports.empty() && reports.back() == 0x4000 && endReports() == 1; }
    bool failed() const { return !reports.empty() && reports.back() == 0x4001 && endReports() == 1; }
    int count(std::string_view needle) const {
        int n = 0;
        for (size_t at = debug.find(needle); at != std::string::npos; at = debug.find(needle, at + 1)) ++n;
        return n;
    }
    std::vector<ce::WPARAM> phases() const {
        std::vector<ce::WPARAM> p;
        for (auto r : reports)
            if (r & 0xC000) p.push_back(r);
        return p;
    }
};

// One head unit serves every test of a test program: a process binds to the desktop of the
// first head unit it uses, so later ones would not reach its windows.
inline sim::TempHeadUnit& sharedHeadUnit() {
    static sim::TempHeadUnit unit;
    return unit;
}

class McuRig {
public:
    McuRig() : unit_(sharedHeadUnit()) {
        std::filesystem::remove(image());
    }

    const std::filesystem::path& root() const { return unit_.root(); }
    std::filesystem::path image() const { return unit_.sdcard() / "UpdateXan" / "MICOM.BIN"; }

    void startSimulator(sim::mcu::McuOptions options) {
        mcu_ = std::make_unique<sim::mcu::McuSimulator>(unit_.root(), std::move(options));
    }
    sim::mcu::McuSimulator& mcu() { return *mcu_; }

    void writeImage(const Bytes& image) {
        std::filesystem::create_directories(this->image().parent_path());
        std::ofstream(this->image(), std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }

    // What the simulator's log holds that contains needle.
    int simLogCount(std::string_view needle) const {
        int n = 0;
        for (const auto& line : mcu_->logLines()) n += line.find(needle) != std::string::npos;
        return n;
    }

    // Starts the library and serves "MICOM_UPDATE" until the end report. afterStart runs on
    // the listener's thread right after the start call.
    RunResult run(int chip = 0, bool playEntry = true, std::function<void()> afterStart = {},
                  uint32_t timeoutMs = 120000) {
        RunResult result;
        ce::DebugCapture capture;
        const ce::UINT message = ce::registerWindowMessage("MICOM_UPDATE");
        ce::Window listener;
        listener.on(message, [&](ce::WPARAM w, ce::LPARAM) -> ce::LRESULT {
            result.reports.push_back(w);
            if (w == 0x8000 && playEntry) updater::EnterMcuProgrammingMode();  // as the MCU page does
            if (w == 0x4000 || w == 0x4001) ce::postQuitMessage(0);
            return 1;
        });
        listener.on(ce::WM_TIMER, [&](ce::WPARAM, ce::LPARAM) -> ce::LRESULT {
            result.timedOut = true;
            ce::postQuitMessage(1);
            return 0;
        });
        ce::WindowSpec window;
        window.className = "McuTestListener";
        window.title = "MCU test listener";
        window.style = ce::WS_POPUP;
        EXPECT_EQ(listener.create(window), ce::ERROR_SUCCESS);
        ce::setTimer(listener.hwnd(), 1, timeoutMs);

        result.startResult = StartUpdateMicom(u"COM5:", u"\\SDMMC Card\\UpdateXan\\MICOM.BIN", chip);
        if (afterStart) afterStart();
        ce::Msg msg;
        while (ce::getMessage(&msg)) ce::dispatchMessage(&msg);
        StopUpdateMicom();
        listener.destroy();
        result.debug = capture.text();
        EXPECT_FALSE(result.timedOut) << "no end report within " << timeoutMs << " ms";
        return result;
    }

private:
    sim::TempHeadUnit& unit_;
    std::unique_ptr<sim::mcu::McuSimulator> mcu_;
};

}  // namespace mcutest
