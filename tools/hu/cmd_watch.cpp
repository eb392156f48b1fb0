// `hu watch DIR [--json] [--wait S]`: follows, from any terminal, whatever the head unit's
// programs show while they run, for a run started by anyone: the updater's pages with their
// status and progress, the panel installer, the guidance panel's state, and the result.
// Exit 0 when the update ended in success, 1 on failure, 2 when nothing ran.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <fmt/format.h>

#include "sim/board/fault_plan.h"
#include "tools/hu/commands.h"
#include "tools/hu/demo/json_events.h"
#include "tools/hu/demo/page_follower.h"
#include "tools/hu/demo/terminal_view.h"
#include "tools/hu/demo/update_watcher.h"
#include "tools/hu/head_unit_arg.h"

namespace hu {

namespace {

constexpr const char* kUsage =
    "usage: hu watch DIR [--json] [--wait S]\n"
    "  --json     one JSON object a line per event (time, event, program, page, text, progress;\n"
    "             the last one the result)\n"
    "  --wait S   how long to wait for a program to show something (default 10 s)\n"
    "exit status: 0 the update succeeded, 1 it failed, 2 nothing ran\n";

struct WatchOptions {
    std::string dir;
    bool json = false;
    double waitSeconds = 10;
};

std::string parse(const Args& args, WatchOptions& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") {
            o.json = true;
        } else if (a == "--wait") {
            if (i + 1 >= args.size()) return "--wait needs a number of seconds";
            char* end = nullptr;
            o.waitSeconds = std::strtod(args[++i].c_str(), &end);
            if (args[i].empty() || *end || !(o.waitSeconds >= 0) || o.waitSeconds > 86400)
                return "--wait takes seconds from 0 to 86400, not \"" + args[i] + "\"";
        } else if (a.rfind("--", 0) != 0 && o.dir.empty()) {
            o.dir = a;
        } else {
            return "unexpected argument " + a;
        }
    }
    if (o.dir.empty()) return "which head unit? (hu watch DIR)";
    return {};
}

// Tells the events as they come: JSON lines, or lines and a live progress line on a terminal.
class EventPrinter {
public:
    EventPrinter(bool json, uint64_t startMs) : json_(json), events_(stdout, startMs), terminal_(stdout, startMs) {}

    void print(const demo::WatchEvent& e) {
        if (json_) {
            events_.write(e.toJson(events_.startMs()));
            return;
        }
        const bool live = (e.kind == "status" || e.kind == "progress") && e.program == "UpdateXan" && e.page != "main";
        if (live) {
            terminal_.status(e.page, e.progress.value_or(0), e.progress ? 100 : 0, e.text);
            return;
        }
        terminal_.endStatus();
        terminal_.line(e.describe());
    }

private:
    bool json_;
    demo::JsonEvents events_;
    demo::TerminalView terminal_;
};

}  // namespace

int cmdWatch(const Args& args) {
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::printf("%s", kUsage);
        return 0;
    }
    WatchOptions o;
    if (std::string error = parse(args, o); !error.empty()) {
        std::fprintf(stderr, "hu watch: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (!enterHeadUnit(o.dir, "hu watch")) return 2;
    const uint64_t startMs = sim::monotonicMs();
    const uint64_t waitMs = static_cast<uint64_t>(o.waitSeconds * 1000);
    EventPrinter printer(o.json, startMs);
    demo::UpdateWatcher watcher;
    for (;;) {
        const auto next = std::chrono::steady_clock::now() + demo::PageFollower::kPollPeriod;
        const uint64_t now = sim::monotonicMs();
        for (const auto& e : watcher.observe(demo::lookAtDesktop(), now)) printer.print(e);
        if (watcher.done()) break;
        if (!watcher.sawAnything() && now - startMs >= waitMs) {
            demo::WatchEvent nothing{now, "result", "", "", "no updater or installer ran within " + fmt::format("{:g}", o.waitSeconds) + " s", {}, {}};
            nothing.result = demo::outcomeName(demo::Outcome::NothingToDo);
            printer.print(nothing);
            return 2;
        }
        std::this_thread::sleep_until(next);
    }
    switch (watcher.outcome()) {
        case demo::Outcome::Success: return 0;
        case demo::Outcome::Failure: return 1;
        default: return 2;
    }
}

}  // namespace hu
