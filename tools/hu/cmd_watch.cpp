// `hu watch DIR [--json] [--timeout S]`: follows, from any terminal, whatever the head unit's
// programs show while they run, for a run started by anyone: the updater's pages with their
// status and progress, the panel installer, the guidance panel's state, and the result.
// Exit 0 when the update ended in success, 1 on failure, 2 when nothing ran.

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <fmt/format.h>

#include "sim/board/fault_plan.h"
#include "tools/hu/cli_support.h"
#include "tools/hu/commands.h"
#include "tools/hu/demo/json_events.h"
#include "tools/hu/demo/page_follower.h"
#include "tools/hu/demo/terminal_view.h"
#include "tools/hu/demo/update_watcher.h"
#include "tools/hu/head_unit_arg.h"

namespace hu {

namespace {

struct WatchOptions {
    std::string dir;
    bool json = false;
    double timeoutSeconds = 10;
};

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
    WatchOptions o;
    cli::Parser parser("hu watch", "follow the programs' pages and the update's result while they run; exit status 0 when the "
                                   "update succeeded, 1 when it failed, 2 when nothing ran");
    parser.headUnit(o.dir)
        .flag("--json", o.json, "one JSON object a line per event (time, event, program, page, text, progress; the last one the result)")
        .seconds("--timeout", o.timeoutSeconds, 0, 86400, "how long to wait for a program to show something (10)");
    if (auto status = parser.parse(args)) return *status;
    if (!enterHeadUnit(o.dir, "hu watch")) return 2;
    const uint64_t startMs = sim::monotonicMs();
    const uint64_t waitMs = static_cast<uint64_t>(o.timeoutSeconds * 1000);
    EventPrinter printer(o.json, startMs);
    demo::UpdateWatcher watcher;
    for (;;) {
        const auto next = std::chrono::steady_clock::now() + demo::PageFollower::kPollPeriod;
        const uint64_t now = sim::monotonicMs();
        for (const auto& e : watcher.observe(demo::lookAtDesktop(), now)) printer.print(e);
        if (watcher.done()) break;
        if (!watcher.sawAnything() && now - startMs >= waitMs) {
            demo::WatchEvent nothing{now, "result", "", "", "no updater or installer ran within " + fmt::format("{:g}", o.timeoutSeconds) + " s", {}, {}};
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
