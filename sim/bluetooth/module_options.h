#pragma once
// Settings of the simulated Bluetooth module: from the head unit's headunit.json
// ("sim": {"bluetooth": {...}}), then from the caller (`hu sim DIR bluetooth`'s options), the
// latter winning. Every setting has a JSON key in camel case ("transferSize", "dfuMode",
// "paced") and an option of `hu sim DIR bluetooth` ("--transfer-size"); "port" (--port NAME)
// is the serial port the module sits behind (default "COM2:").

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "sim/bluetooth/bcsp_peer.h"
#include "sim/bluetooth/dfu_device.h"

namespace sim::bluetooth {

struct ModuleOptions {
    std::filesystem::path root;     // the head unit folder
    std::string port = "COM2:";
    DfuSettings dfu;
    PeerFaults faults;
    PeerTiming timing;
    uint32_t restartMs = 50;
    bool paced = false;
};

// Reads headunit.json of `root`, then overrides (a JSON object of the same keys). On failure
// `error` says why.
bool LoadModuleOptions(const std::filesystem::path& root, const nlohmann::json& overrides, ModuleOptions& options,
                       std::string& error);

// Applies one JSON section ({"transferSize": 2048, ...}).
bool ApplyModuleJson(const nlohmann::json& section, ModuleOptions& options, std::string& error);

// The host path of the module's serial line: the profile's "serial" entry for the port.
std::filesystem::path ModuleLinkPath(const ModuleOptions& options);

// One setting besides "port": its option, its JSON key, the largest number it takes (0 for one
// that is on or off), what it does, and how it is applied.
struct ModuleSetting {
    const char* flag;
    const char* key;
    long maxNumber;
    const char* description;
    std::function<void(ModuleOptions&, long)> apply;
};
const std::vector<ModuleSetting>& ModuleSettings();

}  // namespace sim::bluetooth
