// hu init DIR [options]: creates a head unit on disk with sensible defaults and prints what it
// made. Refuses a folder that exists and holds anything, unless --force.

#include <fmt/format.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "sim/headunit/headunit.h"
#include "tools/hu/cli_support.h"
#include "tools/hu/commands.h"

namespace hu {

namespace {

namespace fs = std::filesystem;

struct InitOptions {
    std::string dir;
    bool force = false;
    sim::HeadUnitOptions headUnit;
};

// The three registry versions; an empty item leaves that value out.
std::string takeVersions(std::string& list, sim::HeadUnitOptions& headUnit) {
    const auto items = cli::splitList(list);
    if (items.size() != 3) return "'" + list + "' is not three comma-separated items OS,MICOM,BT";
    auto item = [](const std::string& v) { return v.empty() ? std::nullopt : std::optional<std::string>(v); };
    headUnit.osVersion = item(items[0]);
    headUnit.micomVersion = item(items[1]);
    headUnit.bluetoothVersion = item(items[2]);
    return {};
}

std::string takeLink(std::string& link, sim::HeadUnitOptions& headUnit) {
    const size_t eq = link.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == link.size()) return "bad link '" + link + "': expected COMn=PATH";
    headUnit.serialLinks[link.substr(0, eq)] = link.substr(eq + 1);
    return {};
}

// Why dir cannot take a head unit, or nothing when it can.
std::string refusal(const fs::path& dir, bool force) {
    std::error_code ec;
    auto type = fs::status(dir, ec).type();
    if (type == fs::file_type::not_found) return {};
    if (type != fs::file_type::directory) return fmt::format("{} exists and is not a folder", dir.string());
    if (!force && (!fs::is_empty(dir, ec) || ec))
        return fmt::format("{} exists and is not empty (--force writes into it)", dir.string());
    return {};
}

}  // namespace

int cmdInit(const Args& args) {
    InitOptions options;
    std::string model;
    std::vector<std::string> links;
    uint32_t codePage = 0;
    cli::Parser parser("hu init", "create a head unit on disk with default settings and list what it made");
    parser.positional("DIR", options.dir, "the folder to make the head unit in (new, or empty unless --force)")
        .number("--code-page", "N", codePage, 1, 65535, "the head unit's code page (949, 1251, 1252, ...)")
        .text("--model", "NAME", model, "the model name in the registry (U0)")
        .option("--versions", "OS,MICOM,BT", "installed versions; an empty item leaves that one out (\",,\": none)",
                [&](std::string& v) { return takeVersions(v, options.headUnit); })
        .texts("--link", "COMn=PATH", links, "serial ports linked to host devices (COM5=/dev/ttyUSB0 ...); "
               "a PATH not there yet is taken, with a warning", false,
               [&](std::string& v) { return takeLink(v, options.headUnit); })
        .flag("--force", options.force, "write into a folder that is not empty");
    if (auto status = parser.parse(args)) return *status;
    if (codePage) options.headUnit.codePage = codePage;
    if (parser.given("--model")) options.headUnit.modelName = model;
    if (std::string problem = refusal(options.dir, options.force); !problem.empty()) {
        std::fprintf(stderr, "hu init: %s\n", problem.c_str());
        return 1;
    }

    std::vector<std::string> made;
    try {
        made = sim::createHeadUnit(options.dir, options.headUnit);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hu init: %s\n", e.what());
        return 1;
    }
    fs::path root = fs::absolute(options.dir).lexically_normal();
    for (const std::string& item : made) std::printf("%s\n", (root / item).string().c_str());

    // A link to an adapter that is not plugged in is allowed (it may come later), but said.
    for (const auto& [port, target] : options.headUnit.serialLinks) {
        const fs::path path = fs::path(target).is_absolute() ? fs::path(target) : root / target;
        std::error_code ec;
        if (!fs::exists(path, ec))
            std::fprintf(stderr, "hu init: warning: %s links to %s, which does not exist (yet)\n", port.c_str(), path.string().c_str());
    }
    fs::path plugin = sim::defaultDriverPlugin();
    if (!fs::exists(plugin)) std::printf("note: the driver plugin %s is not built yet\n", plugin.string().c_str());
    std::printf("hu init: head unit ready in %s (export HEADUNIT_ROOT=%s)\n", root.string().c_str(), root.string().c_str());
    return 0;
}

}  // namespace hu
