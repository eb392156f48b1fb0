// `hu nav DIR …`: plays the navigation program's messages to the guidance panel by hand, for
// people and scripts. Each message is sent to the panel window "ORV_KELO_ZEK" and has been
// handled when the command returns.
//
//   hu nav DIR record [--distance D] [--turn N] [--road1 S] [--road2 S] [--safety N]
//                     [--limit N] [--camera D] [--out FILE]
//   hu nav DIR show | hide | subscribe on|off | speed KMH
//   hu nav DIR start | goal | route-found | raise | end-guide | destroy

#include <cstdio>
#include <fstream>
#include <string>

#include <fmt/format.h>

#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "sim/navigation/guidance_record.h"
#include "sim/navigation/nav_protocol.h"
#include "tools/hu/commands.h"
#include "tools/hu/head_unit_arg.h"

namespace hu {

namespace {

namespace nav = sim::nav;

constexpr const char* kUsage =
    "usage: hu nav DIR record [--distance D] [--turn N] [--road1 S] [--road2 S] [--safety N]\n"
    "                         [--limit N] [--camera D] [--out FILE]\n"
    "       hu nav DIR show | hide | subscribe on|off | speed KMH\n"
    "       hu nav DIR start | goal | route-found | raise | end-guide | destroy\n"
    "D: metres (850, 850m) or kilometres (1.2km); N: 0..255; S: a road name in any script\n";

struct Broadcast {
    const char* name;
    uint32_t code;
};
constexpr Broadcast kBroadcasts[] = {
    {"start", nav::kSetStart},  {"goal", nav::kSetGoal},        {"route-found", nav::kEndRouteSearch},
    {"raise", nav::kRaisePanel}, {"end-guide", nav::kEndGuide}, {"destroy", nav::kDestroy},
};

int fail(const std::string& line) {
    std::fprintf(stderr, "hu nav: %s\n", line.c_str());
    return 1;
}

// The panel window, or 0 after saying that none runs.
ce::HWND panelWindow() {
    const ce::HWND panel = ce::findWindow(nav::kPanelTitle);
    if (!panel) fail(fmt::format("no panel running (no window \"{}\" on this head unit's desktop)", nav::kPanelTitle));
    return panel;
}

// Sends and says what went wrong; the handler's result.
std::optional<ce::LRESULT> send(ce::HWND panel, ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam) {
    const ce::LRESULT result = ce::sendMessage(panel, msg, wParam, lParam);
    if (const uint32_t error = ce::lastSendError()) {
        fail(error == ce::ERROR_TIMEOUT ? "the panel did not answer within 5 s" : fmt::format("the panel could not be reached (error {})", error));
        return std::nullopt;
    }
    return result;
}

int record(const Args& args) {
    nav::GuidanceFields fields;
    std::string out;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0 || i + 1 >= args.size()) return fail(fmt::format("record: {} needs a value\n{}", a, kUsage));
        const std::string& value = args[++i];
        if (a == "--out") {
            out = value;
            continue;
        }
        if (std::string e = nav::setGuidanceField(fields, a.substr(2), value); !e.empty()) return fail(a + ": " + e);
    }
    const nav::GuidanceRecord bytes = nav::encodeGuidanceRecord(fields);
    if (!out.empty()) {
        std::ofstream file(out, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!file) return fail("cannot write " + out);
        std::printf("wrote a %zu-byte guidance record to %s\n", bytes.size(), out.c_str());
        return 0;
    }
    const ce::HWND panel = panelWindow();
    if (!panel) return 1;
    ce::CopyDataStruct cds{nav::kRequestData, static_cast<uint32_t>(bytes.size()), bytes.data()};
    auto result = send(panel, ce::WM_COPYDATA, 0, reinterpret_cast<ce::LPARAM>(&cds));
    if (!result) return 1;
    if (*result == -1) return fail("the panel refused the record (-1): it is not shown (hu nav DIR show, then wait 2 s)");
    std::printf("record sent: %u m, turn %d, safety %d (limit %d, camera %u m)\n", fields.distance, fields.turn, fields.safety,
                fields.limit, fields.camera);
    return 0;
}

int simple(const std::string& what, const Args& rest) {
    auto expectArgs = [&](size_t n) { return rest.size() == n; };
    ce::WPARAM wParam = 0;
    ce::LPARAM lParam = 0;
    ce::UINT msg = 0;
    if (what == "show" || what == "hide") {
        if (!expectArgs(0)) return fail(what + " takes no arguments");
        msg = nav::kShowHideMessage;
        wParam = what == "show" ? 1 : 0;
    } else if (what == "subscribe") {
        if (!expectArgs(1) || (rest[0] != "on" && rest[0] != "off")) return fail("subscribe needs on or off");
        msg = nav::kSubscriptionMessage;
        wParam = rest[0] == "on" ? 1 : 0;
    } else if (what == "speed") {
        uint64_t kmh = 0;
        if (!expectArgs(1) || !nav::parseUnsigned(rest[0], 999, &kmh))
            return fail(fmt::format("speed needs km/h from 0 to 999{}", rest.empty() ? "" : ", not \"" + rest[0] + "\""));
        msg = ce::registerWindowMessage(nav::kBroadcastName);
        wParam = nav::kCurrentSpeed;
        lParam = static_cast<ce::LPARAM>(kmh);
    } else {
        const Broadcast* b = nullptr;
        for (const auto& known : kBroadcasts)
            if (what == known.name) b = &known;
        if (!b) return fail(fmt::format("unknown sub-command '{}'\n{}", what, kUsage));
        if (!expectArgs(0)) return fail(what + " takes no arguments");
        msg = ce::registerWindowMessage(nav::kBroadcastName);
        wParam = b->code;
    }
    const ce::HWND panel = panelWindow();
    if (!panel) return 1;
    if (!send(panel, msg, wParam, lParam)) return 1;
    std::printf("%s: sent to the panel\n", what.c_str());
    return 0;
}

}  // namespace

int cmdNav(const Args& args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::printf("%s", kUsage);
        return 0;
    }
    if (args.size() < 2) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    const std::string& sub = args[1];
    const Args rest(args.begin() + 2, args.end());
    bool writesFile = false;
    for (size_t i = 0; sub == "record" && i < rest.size(); ++i) writesFile |= rest[i] == "--out";
    // A record written to a file needs no head unit; everything else talks to its panel.
    if (!writesFile && !enterHeadUnit(args[0], "hu nav", Registry::NotNeeded)) return 1;
    return sub == "record" ? record(rest) : simple(sub, rest);
}

}  // namespace hu
