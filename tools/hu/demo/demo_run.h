#pragma once
// DemoRun: the whole update of a head unit, end to end, as a field engineer would run it.
//
// It makes a fresh head unit and a complete update package, starts the simulators and the
// updater as child processes, presses ZEK Update and START on the updater's main page (in the
// emergency run nothing but ZEK Update: the updater runs by itself), follows the pages in the
// terminal, presses RESTART, and then checks the NAND flash, the MCU, the Bluetooth module,
// the board's restart, the shell windows and the panel installation against the package. It
// stops every process it started and everything those started, whatever happens, and ends
// with a summary. The run passes only when every check passed.
//
// Three faults can be injected on purpose, one part broken each, to show that the checks see
// them: a wrong kernel checksum in the package, an MCU that drops the acknowledgement of every
// block, and a Bluetooth image that another program holds open so the updater cannot open it.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hu::demo {

enum class Fault { None, KernelChecksum, McuDropsAcks, BluetoothImageLocked };

// "kernel-checksum", "mcu-drops-acks", "bt-image-locked".
std::optional<Fault> faultNamed(std::string_view name);

// What the package must hold beyond the defaults.
struct PackageRequest {
    bool badKernelChecksum = false;
    bool small = false;  // small images (tests)
};

// Builds the update package (with the panel package) on the head unit's SD card and returns
// one line saying what it holds; throws std::runtime_error with one line on failure.
using PackageBuilder = std::function<std::string(const std::filesystem::path& root, const PackageRequest& request)>;

struct DemoOptions {
    std::filesystem::path root;  // the head unit's folder: exists and is empty
    bool temporary = false;      // made by the demo: removed at the end unless keep
    bool keep = false;
    bool emergency = false;
    bool small = false;          // small images and a small MCU, for tests
    bool json = false;
    bool view = false;           // the screen live in a window (hu view) while the run goes           // events and check results as JSON lines on stdout; the rest on stderr
    Fault fault = Fault::None;
    std::filesystem::path screenshots;
    std::filesystem::path huProgram;      // this program, for `hu sim`
    std::filesystem::path updaterProgram;  // UpdateXan
    PackageBuilder buildPackage;
    uint64_t startMs = 0;        // when the demo began (monotonic clock)
    std::vector<int> keepAlive;  // processes the clean-up must leave alone (the watchdog)
};

// Runs the demo; returns the exit code: 0 when every check passed, 1 when something failed,
// 128 + the signal's number when the run was interrupted.
int runDemo(const DemoOptions& options);

}  // namespace hu::demo
