// hu init DIR [options]: creates a head unit on disk with sensible defaults and prints what it
// made. Refuses a folder that exists and holds anything, unless --force.

#include <fmt/format.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "sim/headunit/headunit.h"
#include "tools/hu/commands.h"

namespace hu {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: hu init DIR [--code-page N] [--model NAME] [--versions OS,MICOM,BT] [--link COMn=/dev/ttyX ...] [--force]\n"
    "  --versions: an empty item leaves that registry value out (\"--versions ,,\" leaves all three out)\n";

struct InitOptions {
    fs::path dir;
    bool force = false;
    sim::HeadUnitOptions headUnit;
};

// Parses the arguments; on a mistake returns the one line that says what is wrong.
std::string parse(const Args& args, InitOptions& out) {
    auto splitVersions = [&](const std::string& list) -> std::string {
        std::vector<std::optional<std::string>> items(1);
        for (char c : list) {
            if (c == ',') items.emplace_back();
            else items.back() = items.back().value_or("") + c;
        }
        if (items.size() != 3) return "--versions takes three comma-separated items: OS,MICOM,BT";
        out.headUnit.osVersion = items[0];
        out.headUnit.micomVersion = items[1];
        out.headUnit.bluetoothVersion = items[2];
        return {};
    };

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto next = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
        if (a == "--force") {
            out.force = true;
        } else if (a == "--code-page") {
            const std::string* v = next();
            uint32_t cp = 0;
            // A code page is a 16-bit number; one out of range must not become 0 unnoticed.
            const auto [end, ec] = v ? std::from_chars(v->data(), v->data() + v->size(), cp) : std::from_chars_result{};
            if (!v || v->empty() || ec != std::errc() || end != v->data() + v->size() || cp == 0 || cp > 65535)
                return "--code-page takes a code page number from 1 to 65535 (949, 1251, 1252, ...)";
            out.headUnit.codePage = cp;
        } else if (a == "--model") {
            const std::string* v = next();
            if (!v) return "--model takes a name";
            out.headUnit.modelName = *v;
        } else if (a == "--versions") {
            const std::string* v = next();
            if (!v) return "--versions takes OS,MICOM,BT";
            if (std::string e = splitVersions(*v); !e.empty()) return e;
        } else if (a == "--link") {
            // One or more COMn=TTY items follow.
            size_t before = i;
            while (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0 && args[i + 1].find('=') != std::string::npos) {
                const std::string& link = args[++i];
                size_t eq = link.find('=');
                if (eq == 0 || eq + 1 == link.size()) return fmt::format("bad link '{}': expected COMn=/dev/ttyX", link);
                out.headUnit.serialLinks[link.substr(0, eq)] = link.substr(eq + 1);
            }
            if (i == before) return "--link takes COMn=/dev/ttyX";
        } else if (a.rfind("--", 0) == 0) {
            return fmt::format("unknown option {}", a);
        } else if (out.dir.empty()) {
            out.dir = a;
        } else {
            return fmt::format("unexpected argument '{}'", a);
        }
    }
    if (out.dir.empty()) return "missing DIR";
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
    if (std::string problem = parse(args, options); !problem.empty()) {
        std::fprintf(stderr, "hu init: %s\n%s", problem.c_str(), kUsage);
        return 2;
    }
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
