#include "sim/headunit/headunit.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <stdexcept>
#include <system_error>

namespace sim {

namespace fs = std::filesystem;

namespace {

const char* const kFolders[] = {"sdcard", "nand", "dev", "flash", "run", "log"};

std::string regString(const std::string& value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

void writeFile(const fs::path& path, const std::string& text) {
    fs::path temp = path;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) throw std::runtime_error(fmt::format("cannot write {}", path.string()));
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (ec) throw std::runtime_error(fmt::format("cannot write {}: {}", path.string(), ec.message()));
}

}  // namespace

SimSections::SimSections()
    : sections_(std::make_unique<nlohmann::json>(nlohmann::json{{"board", nlohmann::json::object()},
                                                                {"nand", nlohmann::json::object()},
                                                                {"mcu", nlohmann::json::object()},
                                                                {"bluetooth", nlohmann::json::object()}})) {}
SimSections::SimSections(const SimSections& other) : sections_(std::make_unique<nlohmann::json>(*other.sections_)) {}
SimSections& SimSections::operator=(const SimSections& other) {
    *sections_ = *other.sections_;
    return *this;
}
SimSections::~SimSections() = default;

nlohmann::json& SimSections::operator[](const std::string& simulator) { return (*sections_)[simulator]; }

fs::path defaultDriverPlugin() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return "libsim_drivers.so";
    return (exe.parent_path() / ".." / "lib" / "libsim_drivers.so").lexically_normal();
}

std::string registryText(const HeadUnitOptions& o) {
    std::string text = "Windows Registry Editor Version 5.00\r\n";
    auto key = [&](const char* path) { text += fmt::format("\r\n[HKEY_LOCAL_MACHINE\\{}]\r\n", path); };
    auto dword = [&](const char* name, uint32_t v) { text += fmt::format("\"{}\"=dword:{:08x}\r\n", name, v); };
    auto string = [&](const char* name, const std::string& v) { text += fmt::format("\"{}\"={}\r\n", name, regString(v)); };

    key("SOFTWARE\\ORV\\SYSTEM\\FactoryInfo");
    if (o.codePage) dword("CodePage", *o.codePage);
    if (o.srcInfo) dword("SrcInfo", *o.srcInfo);
    key("SOFTWARE\\ORV\\SYSTEM\\VERSION");
    if (o.osVersion) string("OS", *o.osVersion);
    if (o.micomVersion) string("MICOM", *o.micomVersion);
    if (o.bluetoothVersion) string("BLUETOOTH", *o.bluetoothVersion);
    key("Platform\\OS");
    if (o.modelName) string("ModelName", *o.modelName);
    if (!o.extraRegistry.empty()) text += "\r\n" + o.extraRegistry;
    return text;
}

std::vector<std::string> createHeadUnit(const fs::path& dirIn, const HeadUnitOptions& o) {
    std::error_code ec;
    fs::path dir = fs::absolute(dirIn, ec).lexically_normal();
    if (!dir.has_filename()) dir = dir.parent_path();
    std::vector<std::string> made;

    fs::create_directories(dir, ec);
    if (ec) throw std::runtime_error(fmt::format("cannot create {}: {}", dir.string(), ec.message()));
    for (const char* folder : kFolders) {
        fs::create_directory(dir / folder, ec);
        if (ec) throw std::runtime_error(fmt::format("cannot create {}: {}", (dir / folder).string(), ec.message()));
        made.push_back(std::string(folder) + "/");
    }

    fs::path plugin = o.driverPlugin.empty() ? defaultDriverPlugin() : o.driverPlugin;
    nlohmann::json doc = {
        {"ansiCodePage", o.ansiCodePage.value_or(o.codePage.value_or(949))},
        {"screen", {{"width", o.screenWidth}, {"height", o.screenHeight}}},
        {"mounts", nlohmann::json::array({{{"device", "\\SDMMC Card"}, {"host", "sdcard"}},
                                          {{"device", "\\NAND Flash"}, {"host", "nand"}}})},
        {"serial", {{"COM2:", "dev/COM2"}, {"COM5:", "dev/COM5"}}},
        {"drivers", {{"DSK1:", plugin.string()}, {"ORV1:", plugin.string()}, {"OEM", plugin.string()}}},
        {"sim", o.sim.all()},
    };
    for (const auto& [port, target] : o.serialLinks) {
        std::string name = port;
        if (!name.empty() && name.back() == ':') name.pop_back();
        if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
            throw std::runtime_error(fmt::format("bad serial port name '{}'", port));
        doc["serial"][name + ":"] = "dev/" + name;
        fs::path link = dir / "dev" / name;
        fs::remove(link, ec);
        fs::create_symlink(target, link, ec);
        if (ec) throw std::runtime_error(fmt::format("cannot link {} to {}: {}", link.string(), target, ec.message()));
        made.push_back(fmt::format("dev/{} -> {}", name, target));
    }

    writeFile(dir / "headunit.json", doc.dump(2) + "\n");
    made.push_back("headunit.json");
    writeFile(dir / "registry.reg", registryText(o));
    made.push_back("registry.reg");
    return made;
}

}  // namespace sim
