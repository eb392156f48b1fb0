#pragma once
// The head unit on disk: the folder named by HEADUNIT_ROOT and its headunit.json.
//
// Every program runs inside one head unit. The profile says where the head unit's volumes
// live on the host ("\SDMMC Card" -> sdcard/, "\NAND Flash" -> nand/), which tty stands behind
// each serial port name, which backend serves each stream driver, the ANSI code page, the
// screen size and the simulators' settings. Nothing but the platform reads it.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

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

    // Loads the profile of a head unit folder (tools and tests use this directly).
    static Result<Profile> load(const std::filesystem::path& root);

    // Replaces the process-wide profile (tests that build several head units in one process).
    static void setCurrent(const std::filesystem::path& root);

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

    // The whole document, for the simulators' own sections ("sim": {...}).
    const nlohmann::json& json() const { return json_; }

private:
    std::filesystem::path root_;
    std::vector<Mount> mounts_;
    uint32_t ansiCodePage_ = 1252;
    int screenWidth_ = 800;
    int screenHeight_ = 480;
    nlohmann::json json_;
};

}  // namespace ce
