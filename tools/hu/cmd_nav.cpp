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
#include "tools/hu/cli_support.h"
#include "tools/hu/commands.h"
#include "tools/hu/head_unit_arg.h"

namespace hu {

namespace {

namespace nav = sim::nav;

struct Broadcast {
    const char* name;
    uint32_t code;
    const char* description;
};
constexpr Broadcast kBroadcasts[] = {
    {"start", nav::kSetStart, "the start of a route is set"},
    {"goal", nav::kSetGoal, "the goal of a route is set"},
    {"route-found", nav::kEndRouteSearch, "the route search ended"},
    {"raise", nav::kRaisePanel, "bring the panel to the front"},
    {"end-guide", nav::kEndGuide, "guidance ended"},
    {"destroy", nav::kDestroy, "the navigation program goes away"},
};

// What the command line asks for.
struct NavCommand {
    std::string dir;
    nav::GuidanceFields fields;
    std::string out, onOff, kmh;
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

int record(const NavCommand& c) {
    const nav::GuidanceFields& fields = c.fields;
    const std::string& out = c.out;
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

int simple(const std::string& what, const NavCommand& c) {
    ce::WPARAM wParam = 0;
    ce::LPARAM lParam = 0;
    ce::UINT msg = 0;
    if (what == "show" || what == "hide") {
        msg = nav::kShowHideMessage;
        wParam = what == "show" ? 1 : 0;
    } else if (what == "subscribe") {
        msg = nav::kSubscriptionMessage;
        wParam = c.onOff == "on" ? 1 : 0;
    } else if (what == "speed") {
        uint64_t kmh = 0;
        nav::parseUnsigned(c.kmh, 999, &kmh);
        msg = ce::registerWindowMessage(nav::kBroadcastName);
        wParam = nav::kCurrentSpeed;
        lParam = static_cast<ce::LPARAM>(kmh);
    } else {
        for (const auto& known : kBroadcasts)
            if (what == known.name) wParam = known.code;
        msg = ce::registerWindowMessage(nav::kBroadcastName);
    }
    const ce::HWND panel = panelWindow();
    if (!panel) return 1;
    if (!send(panel, msg, wParam, lParam)) return 1;
    std::printf("%s: sent to the panel\n", what.c_str());
    return 0;
}

void describe(cli::Parser& p, NavCommand& c) {
    p.headUnit(c.dir).verbRequired();
    auto& record = p.verb("record", "send one guidance record to the panel, or write it to a file");
    auto field = [&](const char* option, const char* valueName, const char* description) {
        record.option(option, valueName, description,
                      [&c, key = std::string(option + 2)](std::string& v) { return nav::setGuidanceField(c.fields, key, v); });
    };
    field("--distance", "D", "distance to the turn: metres (850, 850m) or kilometres (1.2km)");
    field("--turn", "N", "the turn code, 0..255");
    field("--road1", "S", "the first road name, any script (at most 47 UTF-16 units)");
    field("--road2", "S", "the second road name, any script (at most 95 UTF-16 units)");
    field("--safety", "N", "the safety code, 0..255");
    field("--limit", "N", "the speed limit, 0..255 km/h");
    field("--camera", "D", "distance to the safety point, 0..65535 metres");
    record.text("--out", "FILE", c.out, "write the record to FILE instead (no head unit needed)");
    p.verb("show", "show the panel");
    p.verb("hide", "hide the panel");
    p.verb("subscribe", "subscribe to the panel's messages, or end it")
        .choice("ON_OFF", "", c.onOff, {"on", "off"}, "on or off");
    p.verb("speed", "the current speed").positional("KMH", c.kmh, "km/h, 0..999", [](std::string& v) -> std::string {
        uint64_t kmh = 0;
        return nav::parseUnsigned(v, 999, &kmh) ? "" : "speed needs km/h from 0 to 999, not \"" + v + "\"";
    });
    for (const auto& b : kBroadcasts) p.verb(b.name, b.description);
}

}  // namespace

int cmdNav(const Args& args) {
    NavCommand c;
    cli::Parser parser("hu nav", "play the navigation program's messages to the guidance panel");
    describe(parser, c);
    if (auto status = parser.parse(args)) return *status;
    const std::string& verb = parser.chosenVerb()->name();
    // A record written to a file needs no head unit; everything else talks to its panel.
    const bool writesFile = verb == "record" && !c.out.empty();
    if (!writesFile && !enterHeadUnit(c.dir, "hu nav", Registry::NotNeeded)) return 1;
    return verb == "record" ? record(c) : simple(verb, c);
}

}  // namespace hu
