#include "sim/bluetooth/module_options.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <functional>
#include <map>

namespace sim::bluetooth {

const std::vector<ModuleSetting>& ModuleSettings() {
    using O = ModuleOptions;
    constexpr long kOnOff = 0, kAnyNumber = 0xFFFFFF;
    static const std::vector<ModuleSetting> table = {
        {"--dfu-mode", "dfuMode", kOnOff, "start in DFU mode instead of the application",
         [](O& o, long v) { o.dfu.startInDfuMode = v != 0; }},
        {"--transfer-size", "transferSize", 0xFFFF, "the transfer size in the DFU function descriptor (1024)",
         [](O& o, long v) { o.dfu.transferSize = static_cast<uint16_t>(v); }},
        {"--busy-ms", "busyMs", kAnyNumber, "answer busy with this poll time-out after each block",
         [](O& o, long v) { o.dfu.busyMs = static_cast<uint32_t>(v); }},
        {"--busy-last", "busyLast", kOnOff, "... only after a short (last) block", [](O& o, long v) { o.dfu.busyLastOnly = v != 0; }},
        {"--lenient-busy", "lenientBusy", kOnOff,
         "hold a request that comes while busy until the block is written, instead of stalling it and going to the error state",
         [](O& o, long v) { o.dfu.lenientBusy = v != 0; }},
        {"--manifest-ms", "manifestMs", kAnyNumber, "report manifestation for N ms after the final download",
         [](O& o, long v) { o.dfu.manifestMs = static_cast<uint32_t>(v); }},
        {"--error-at-block", "errorAtBlock", kAnyNumber, "fault: go to the error state when block N arrives",
         [](O& o, long v) { o.dfu.errorAtBlock = static_cast<int>(v); }},
        {"--corrupt-every", "corruptEvery", kAnyNumber, "fault: change a byte in every Nth reliable packet sent (first copy)",
         [](O& o, long v) { o.faults.corruptEvery = static_cast<int>(v); }},
        {"--drop-every", "dropEvery", kAnyNumber, "fault: do not send every Nth reliable packet the first time",
         [](O& o, long v) { o.faults.dropEvery = static_cast<int>(v); }},
        {"--bad-crc-every", "badCrcEvery", kAnyNumber, "fault: send every Nth reliable packet first with a wrong CRC",
         [](O& o, long v) { o.faults.badCrcEvery = static_cast<int>(v); }},
        {"--out-of-sequence-every", "outOfSequenceEvery", kAnyNumber, "fault: send every Nth reliable packet first with a wrong SEQ",
         [](O& o, long v) { o.faults.outOfSequenceEvery = static_cast<int>(v); }},
        {"--lose-every", "loseEvery", kAnyNumber, "fault: lose every Nth reliable packet from the host",
         [](O& o, long v) { o.faults.loseReceivedEvery = static_cast<int>(v); }},
        {"--no-link", "noLink", kOnOff, "fault: never complete link establishment", [](O& o, long v) { o.faults.neverLink = v != 0; }},
        {"--retransmit-ms", "retransmitMs", kAnyNumber, "the retransmission time-out in ms (250)",
         [](O& o, long v) { o.timing.retransmit = std::chrono::milliseconds(v); }},
        {"--restart-ms", "restartMs", kAnyNumber, "ms the module takes to restart after a reset (50)",
         [](O& o, long v) { o.restartMs = static_cast<uint32_t>(v); }},
        {"--paced", "paced", kOnOff, "carry bytes at the line rate in both directions", [](O& o, long v) { o.paced = v != 0; }},
    };
    return table;
}

bool ApplyModuleJson(const nlohmann::json& section, ModuleOptions& options, std::string& error) {
    if (section.is_null()) return true;
    if (!section.is_object()) {
        error = "\"sim\".\"bluetooth\" is not an object";
        return false;
    }
    for (const auto& [key, value] : section.items()) {
        if (key == "port") {
            if (!value.is_string()) {
                error = "\"port\" is not a string";
                return false;
            }
            options.port = value.get<std::string>();
            continue;
        }
        const ModuleSetting* found = nullptr;
        for (const auto& setting : ModuleSettings()) {
            if (key == setting.key) found = &setting;
        }
        if (!found) {
            error = "unknown bluetooth setting \"" + key + "\"";
            return false;
        }
        long number = 0;
        if (value.is_boolean()) {
            number = value.get<bool>() ? 1 : 0;
        } else if (value.is_number_integer() && value.get<long>() >= 0 && value.get<long>() <= (found->maxNumber > 0 ? found->maxNumber : 0xFFFFFF)) {
            number = value.get<long>();
        } else {
            error = "bluetooth setting \"" + key + "\" is not a number or a boolean in range";
            return false;
        }
        found->apply(options, number);
    }
    return true;
}

bool LoadModuleOptions(const std::filesystem::path& root, const nlohmann::json& overrides, ModuleOptions& options,
                       std::string& error) {
    options.root = root;
    std::ifstream in(root / "headunit.json");
    if (!in) {
        error = (root / "headunit.json").string() + " cannot be read";
        return false;
    }
    nlohmann::json profile = nlohmann::json::parse(in, nullptr, false);
    if (profile.is_discarded() || !profile.is_object()) {
        error = (root / "headunit.json").string() + " is not valid JSON";
        return false;
    }
    if (profile.contains("sim") && profile["sim"].is_object() && profile["sim"].contains("bluetooth")) {
        if (!ApplyModuleJson(profile["sim"]["bluetooth"], options, error)) return false;
    }
    if (!ApplyModuleJson(overrides, options, error)) return false;
    if (options.dfu.transferSize == 0) {
        error = "the transfer size must be at least 1";
        return false;
    }
    return true;
}

std::filesystem::path ModuleLinkPath(const ModuleOptions& options) {
    std::ifstream in(options.root / "headunit.json");
    nlohmann::json profile = nlohmann::json::parse(in, nullptr, false);
    std::string link = "dev/" + options.port.substr(0, options.port.find(':'));
    if (!profile.is_discarded() && profile.contains("serial") && profile["serial"].is_object()) {
        const auto& serial = profile["serial"];
        if (serial.contains(options.port) && serial[options.port].is_string()) link = serial[options.port].get<std::string>();
    }
    std::filesystem::path path(link);
    return path.is_absolute() ? path : options.root / path;
}

}  // namespace sim::bluetooth
