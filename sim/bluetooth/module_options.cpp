#include "sim/bluetooth/module_options.h"

#include <fstream>
#include <functional>
#include <map>

namespace sim::bluetooth {

const char* const kModuleOptionsHelp =
    "[--port COM2:] [--dfu-mode] [--transfer-size N] [--busy-ms N] [--busy-last] [--lenient-busy] "
    "[--manifest-ms N] [--error-at-block N] [--corrupt-every N] [--drop-every N] [--bad-crc-every N] "
    "[--out-of-sequence-every N] [--lose-every N] [--no-link] [--retransmit-ms N] [--restart-ms N] [--paced]";

namespace {

// One option: its command-line name, its JSON key, and how it sets the options.
struct Option {
    const char* flag;
    const char* key;
    bool takesNumber;
    std::function<void(ModuleOptions&, long)> apply;
};

const std::vector<Option>& optionTable() {
    static const std::vector<Option> table = {
        {"--dfu-mode", "dfuMode", false, [](ModuleOptions& o, long v) { o.dfu.startInDfuMode = v != 0; }},
        {"--transfer-size", "transferSize", true,
         [](ModuleOptions& o, long v) { o.dfu.transferSize = static_cast<uint16_t>(v); }},
        {"--busy-ms", "busyMs", true, [](ModuleOptions& o, long v) { o.dfu.busyMs = static_cast<uint32_t>(v); }},
        {"--busy-last", "busyLast", false, [](ModuleOptions& o, long v) { o.dfu.busyLastOnly = v != 0; }},
        {"--lenient-busy", "lenientBusy", false, [](ModuleOptions& o, long v) { o.dfu.lenientBusy = v != 0; }},
        {"--manifest-ms", "manifestMs", true,
         [](ModuleOptions& o, long v) { o.dfu.manifestMs = static_cast<uint32_t>(v); }},
        {"--error-at-block", "errorAtBlock", true,
         [](ModuleOptions& o, long v) { o.dfu.errorAtBlock = static_cast<int>(v); }},
        {"--corrupt-every", "corruptEvery", true,
         [](ModuleOptions& o, long v) { o.faults.corruptEvery = static_cast<int>(v); }},
        {"--drop-every", "dropEvery", true, [](ModuleOptions& o, long v) { o.faults.dropEvery = static_cast<int>(v); }},
        {"--bad-crc-every", "badCrcEvery", true,
         [](ModuleOptions& o, long v) { o.faults.badCrcEvery = static_cast<int>(v); }},
        {"--out-of-sequence-every", "outOfSequenceEvery", true,
         [](ModuleOptions& o, long v) { o.faults.outOfSequenceEvery = static_cast<int>(v); }},
        {"--lose-every", "loseEvery", true,
         [](ModuleOptions& o, long v) { o.faults.loseReceivedEvery = static_cast<int>(v); }},
        {"--no-link", "noLink", false, [](ModuleOptions& o, long v) { o.faults.neverLink = v != 0; }},
        {"--retransmit-ms", "retransmitMs", true,
         [](ModuleOptions& o, long v) { o.timing.retransmit = std::chrono::milliseconds(v); }},
        {"--restart-ms", "restartMs", true,
         [](ModuleOptions& o, long v) { o.restartMs = static_cast<uint32_t>(v); }},
        {"--paced", "paced", false, [](ModuleOptions& o, long v) { o.paced = v != 0; }},
    };
    return table;
}

bool parseNumber(const std::string& text, long& value) {
    if (text.empty()) return false;
    size_t used = 0;
    try {
        value = std::stol(text, &used, 0);
    } catch (...) {
        return false;
    }
    return used == text.size() && value >= 0 && value <= 0xFFFFFF;
}

}  // namespace

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
        const Option* found = nullptr;
        for (const auto& option : optionTable()) {
            if (key == option.key) found = &option;
        }
        if (!found) {
            error = "unknown bluetooth setting \"" + key + "\"";
            return false;
        }
        long number = 0;
        if (value.is_boolean()) {
            number = value.get<bool>() ? 1 : 0;
        } else if (value.is_number_integer() && value.get<long>() >= 0 && value.get<long>() <= 0xFFFFFF) {
            number = value.get<long>();
        } else {
            error = "bluetooth setting \"" + key + "\" is not a number or a boolean in range";
            return false;
        }
        found->apply(options, number);
    }
    return true;
}

bool ApplyModuleArgs(const std::vector<std::string>& args, ModuleOptions& options, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--port") {
            if (i + 1 >= args.size()) {
                error = "--port needs a port name";
                return false;
            }
            options.port = args[++i];
            continue;
        }
        const Option* found = nullptr;
        for (const auto& option : optionTable()) {
            if (args[i] == option.flag) found = &option;
        }
        if (!found) {
            error = "unknown option " + args[i];
            return false;
        }
        long number = 1;
        if (found->takesNumber) {
            if (i + 1 >= args.size() || !parseNumber(args[i + 1], number)) {
                error = std::string(found->flag) + " needs a number";
                return false;
            }
            ++i;
        }
        found->apply(options, number);
    }
    return true;
}

bool LoadModuleOptions(const std::filesystem::path& root, const std::vector<std::string>& args, ModuleOptions& options,
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
    if (!ApplyModuleArgs(args, options, error)) return false;
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
