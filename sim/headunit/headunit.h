#pragma once
// A complete head unit on disk, as `hu init` makes it and as every test starts from.
//
// createHeadUnit() writes headunit.json (mounts, serial ports, driver plugin, code page,
// simulator sections), registry.reg (the values the programs read at start-up) and the folders
// sdcard/ nand/ dev/ flash/ run/ log/. Each registry value can be changed or left out, so a
// test can build exactly the head unit its case needs. TempHeadUnit wraps that in a temporary
// folder for the length of a test and makes it the process's head unit.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace sim {

// The simulators' sections of headunit.json ("sim": {"board": {}, "nand": {}, "mcu": {},
// "bluetooth": {}}), each an empty object to begin with. The document sits behind a pointer so
// that this header, which every test includes, only declares the JSON type: a file that sets a
// section (`options.sim["mcu"] = {...}`) includes <nlohmann/json.hpp> itself.
class SimSections {
public:
    SimSections();
    SimSections(const SimSections& other);
    SimSections& operator=(const SimSections& other);
    ~SimSections();

    nlohmann::json& operator[](const std::string& simulator);
    const nlohmann::json& all() const { return *sections_; }

private:
    std::unique_ptr<nlohmann::json> sections_;
};

struct HeadUnitOptions {
    // Registry values; std::nullopt leaves the value out of registry.reg.
    std::optional<uint32_t> codePage = 949;  // HKLM\SOFTWARE\ORV\SYSTEM\FactoryInfo "CodePage"
    std::optional<uint32_t> srcInfo = 0x4;   // "SrcInfo" (bit 0x4: a Bluetooth module is fitted)
    std::optional<std::string> osVersion = std::string("1.0.0");         // ...\VERSION "OS"
    std::optional<std::string> micomVersion = std::string("1.0.0");      // ...\VERSION "MICOM"
    std::optional<std::string> bluetoothVersion = std::string("1.0.0");  // ...\VERSION "BLUETOOTH"
    std::optional<std::string> modelName = std::string("U0");            // HKLM\Platform\OS "ModelName"
    std::string extraRegistry;  // more .reg text appended as it stands (keys of other programs)

    // headunit.json
    std::optional<uint32_t> ansiCodePage;  // the system's ANSI code page; default: codePage, else 949
    int screenWidth = 800;
    int screenHeight = 480;
    std::filesystem::path driverPlugin;  // default: <folder of this executable>/../lib/libsim_drivers.so
    SimSections sim;

    // Serial ports served by a real tty instead of a simulator: "COM5" -> "/dev/ttyUSB0" makes
    // dev/COM5 a link to it. Ports not named here get their link when a simulator starts.
    std::map<std::string, std::string> serialLinks;
};

// Writes a complete head unit into dir (created if missing). Existing files of the same names
// are replaced; nothing else in dir is touched. Returns what it made, one entry per folder or
// file, relative to dir ("sdcard/", "registry.reg", "dev/COM5 -> /dev/ttyUSB0").
// Throws std::runtime_error with a one-line message when the host refuses.
std::vector<std::string> createHeadUnit(const std::filesystem::path& dir, const HeadUnitOptions& options = {});

// The text of registry.reg for these options (UTF-8, Windows .reg format).
std::string registryText(const HeadUnitOptions& options);

// The default driver plugin: <folder of the running executable>/../lib/libsim_drivers.so.
std::filesystem::path defaultDriverPlugin();

// A fresh head unit in a temporary folder for the lifetime of the object: HEADUNIT_ROOT
// points at it and it is the process's current profile. The destructor removes the folder
// and restores the previous HEADUNIT_ROOT. Not copyable; one at a time per process.
class TempHeadUnit {
public:
    explicit TempHeadUnit(const HeadUnitOptions& options = {});
    ~TempHeadUnit();
    TempHeadUnit(const TempHeadUnit&) = delete;
    TempHeadUnit& operator=(const TempHeadUnit&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path sdcard() const { return root_ / "sdcard"; }
    std::filesystem::path nand() const { return root_ / "nand"; }

    // Keeps the folder after the test (for looking at a failure); prints its path.
    void keep() { keep_ = true; }

private:
    std::filesystem::path root_;
    std::optional<std::string> previousRoot_;
    bool keep_ = false;
};

}  // namespace sim
