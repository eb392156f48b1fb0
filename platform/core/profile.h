#pragma once
// The head unit on disk: the folder named by HEADUNIT_ROOT and its headunit.json.
//
// Every program runs inside one head unit. The profile says where the head unit's volumes
// live on the host ("\SDMMC Card" -> sdcard/, "\NAND Flash" -> nand/), which tty stands behind
// each serial port name, which backend serves each stream driver, the ANSI code page, the
// screen size and the simulators' settings. Nothing but the platform (and the simulators,
// for their own "sim" section) reads it.
//
// headunit.json (relative host paths are relative to the head unit folder):
//
//   {
//     "ansiCodePage": 949,                          optional, 949 when missing
//     "screen": {"width": 800, "height": 480},      optional, 800 x 480 when missing
//     "mounts": [{"device": "\\SDMMC Card", "host": "sdcard"},
//                {"device": "\\NAND Flash", "host": "nand"}],
//     "serial": {"COM2:": "dev/COM2", "COM5:": "dev/COM5"},
//     "drivers": {"DSK1:": "/abs/lib/libsim_drivers.so", "ORV1:": "...", "OEM": "..."},
//     "sim": {"board": {}, "nand": {}, "mcu": {}, "bluetooth": {}}
//   }
//
// A mount's device path starts with a backslash and has no trailing one; two mounts never
// share a device path. Device and port names are matched without regard to case. A document
// that is not JSON, or whose known keys have the wrong type, does not load
// (ERROR_INVALID_DATA); unknown keys are kept for whoever reads them. A headunit.json that is a
// folder or cannot be read is ERROR_CANT_ACCESS_FILE. Every refusal comes with one line that
// says why, naming the file and, where it can, the line ("headunit.json: ..., line 3").

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "platform/core/error.h"

namespace ce {

struct Mount {
    std::string devicePath;     // "\SDMMC Card" (no trailing backslash)
    std::filesystem::path host;  // absolute host folder
};

class Profile {
public:
    // The profile of this process: HEADUNIT_ROOT, loaded once. A process started without
    // HEADUNIT_ROOT (or with an unreadable headunit.json) gets an error from every call that
    // needs the head unit; programs report that in one line and end.
    static Result<const Profile*> current();
    // Why the current profile did not load (the line load() gave); empty when it did.
    static std::string currentProblem();

    // Loads the profile of a head unit folder (tools and tests use this directly). On failure
    // *problem, when given, receives the one line that says why.
    static Result<Profile> load(const std::filesystem::path& root, std::string* problem = nullptr);

    // Reads a headunit.json document given as text, for a head unit at root.
    static Result<Profile> parse(const std::filesystem::path& root, std::string_view document,
                                 std::string* problem = nullptr);

    // Replaces the process-wide profile (tests that build several head units in one process).
    static void setCurrent(const std::filesystem::path& root);

    // Forgets the process-wide profile; the next current() reads HEADUNIT_ROOT again.
    static void resetCurrent();

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path runDir() const { return root_ / "run"; }
    std::filesystem::path logDir() const { return root_ / "log"; }
    std::filesystem::path flashDir() const { return root_ / "flash"; }
    std::filesystem::path devDir() const { return root_ / "dev"; }

    const std::vector<Mount>& mounts() const { return mounts_; }
    uint32_t ansiCodePage() const { return ansiCodePage_; }
    int screenWidth() const { return screenWidth_; }
    int screenHeight() const { return screenHeight_; }

    // Host path of the stream driver plugin serving a device name ("DSK1:"), empty if none.
    std::string driverBackend(const std::string& deviceName) const;

    // Host path of the tty behind a serial port name ("COM5:" -> <root>/dev/COM5), empty if
    // the profile names none.
    std::filesystem::path serialDevice(const std::string& portName) const;

    // The whole document, for the simulators' own sections ("sim": {...}). Readers include
    // <nlohmann/json.hpp> themselves; this header only declares the type, which keeps the JSON
    // library out of the many files that include it.
    const nlohmann::json& json() const;

private:
    std::filesystem::path root_;
    std::vector<Mount> mounts_;
    std::map<std::string, std::filesystem::path> serial_;  // upper-case port name -> host path
    std::map<std::string, std::string> drivers_;           // upper-case device name -> plugin
    uint32_t ansiCodePage_ = 949;
    int screenWidth_ = 800;
    int screenHeight_ = 480;
    std::shared_ptr<const nlohmann::json> json_;  // shared by copies; never changed once loaded
};

}  // namespace ce
