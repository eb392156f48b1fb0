#pragma once
// The guidance panel in the demo: once the installer has put the panel into "\NAND Flash\ZEK",
// the demo starts the navigation simulator and the installed Kelo_ZEK, plays a short route
// (show, speed, several manoeuvres, safety icons and a camera, end of guidance, destroy),
// turns the panel by a tap on it, collapses and expands it, and takes a PNG of each state.
//
// The checks compare what the head unit holds and shows with the panel's rules: ZEK.cfg's
// bytes after each tap, the main window's rectangle in each state, every icon area against
// the installed bitmap over the installed background (keyed or opaque as the rule says), the
// camera distance changing colour from one record to the next, and the program's end after
// the destroy code.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tools/hu/demo/checks.h"
#include "tools/hu/demo/child_processes.h"
#include "tools/hu/demo/time_accounting.h"

namespace hu::demo {

struct PanelStageSetup {
    std::filesystem::path root;         // the head unit
    std::filesystem::path huProgram;    // for `hu sim … navigation` and `hu ctl … tap`
    std::filesystem::path screenshots;  // where the PNGs go
    ChildProcesses* children = nullptr;  // the demo's children: the stage's own are stopped with them
    std::function<void(const std::string&)> say;  // one line for the terminal
};

struct PanelStageResult {
    std::vector<CheckResult> checks;
    std::vector<TimePart> fixedWaits;  // the panel's own timers and the route's pauses
    int screenshots = 0;
};

// Runs the stage. A failure that stops it early shows as a failed check with the reason; only
// an interruption (Ctrl-C) is thrown.
PanelStageResult runPanelStage(const PanelStageSetup& setup);

}  // namespace hu::demo
