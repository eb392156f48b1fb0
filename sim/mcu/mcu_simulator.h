#pragma once
// The simulated MCU of a head unit: its boot firmware served on the pty behind the profile's
// COM5 link, switched into programming mode by the board's GPIO lines.
//
// It carries out what the firmware decides and plays the line between them: bytes that cross
// at a rate the other end is not using arrive garbled, bytes can be paced at the line rate,
// and the line faults (frames split into pieces, noise between frames) are applied here. The
// flash contents are mirrored to flash/mcu_flash.bin and every command to log/mcu_sim.log,
// each as it happens. Runs on a thread of its own from construction to destruction.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/mcu/entry_detector.h"
#include "sim/mcu/mcu_options.h"
#include "sim/pty/pty_endpoint.h"

namespace sim {
class PtyEndpoint;
struct LineSettings;
class GpioWatcher;
}

namespace sim::mcu {

class McuFirmware;
class McuFlash;
class LineGarbler;
struct DeviceAction;

class McuSimulator {
public:
    // Serves the head unit at root with the given options. Throws std::runtime_error with one
    // clear line when the options are inconsistent or the pty cannot be made.
    McuSimulator(const std::filesystem::path& root, McuOptions options);
    ~McuSimulator();
    McuSimulator(const McuSimulator&) = delete;
    McuSimulator& operator=(const McuSimulator&) = delete;

    // Options of a head unit: its headunit.json "sim"."mcu" section.
    static McuOptions optionsFor(const std::filesystem::path& root);

    static std::filesystem::path flashFile(const std::filesystem::path& root) { return root / "flash" / "mcu_flash.bin"; }
    static std::filesystem::path logFile(const std::filesystem::path& root) { return root / "log" / "mcu_sim.log"; }

    std::vector<uint8_t> flashContents() const;
    bool inProgrammingMode() const { return programming_; }
    const McuOptions& options() const { return options_; }
    const std::string& ttyPath() const;

    // The log lines written so far (also in log/mcu_sim.log).
    std::vector<std::string> logLines() const;

private:
    void run();
    void pollBoard();
    void onBytes(std::vector<uint8_t> bytes);
    void perform(const std::vector<DeviceAction>& actions);
    void send(const std::vector<uint8_t>& frame);
    void waitOnLine(const std::vector<uint8_t>& bytes, const LineSettings& sentWith);
    void log(const std::string& line);
    uint64_t nowMs() const;

    McuOptions options_;
    std::unique_ptr<PtyEndpoint> pty_;
    std::unique_ptr<McuFlash> flash_;
    std::unique_ptr<McuFirmware> firmware_;
    std::unique_ptr<LineGarbler> garbler_;
    std::unique_ptr<GpioWatcher> board_;  // the board's port 2 drives reset and mode
    EntryDetector entry_;
    std::ofstream logFile_;
    mutable std::mutex flashMutex_;  // the flash, between the thread and readers
    mutable std::mutex logMutex_;
    std::vector<std::string> logLines_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point receiveLineFreeAt_{};
    // Milliseconds the simulator spent waiting on an empty line: the clock the firmware's
    // receiver judges gaps inside a frame by. A simulator the host did not schedule for a while
    // has not watched the line meanwhile, so that time is no gap on the line.
    uint64_t quietMs_ = 0;
    LineSettings lastSeen_{};  // the program's line settings when the simulator last looked
    uint32_t deviceRate_ = 9600;
    uint32_t closesSeen_ = 0;
    std::atomic<bool> programming_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace sim::mcu
