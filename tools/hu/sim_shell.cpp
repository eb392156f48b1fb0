// `hu sim DIR shell [--windows A,B,...]`: the head unit's own applications ("ZOVEDIZUZ",
// "GUI_Main", "ORV_MAINMENU", "ORV_SETUP") as windows that log every message they receive to
// log/shell.log. Runs until SIGINT/SIGTERM or until every window has been closed.

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/core/debug.h"
#include "platform/core/profile.h"
#include "sim/shell/shell_apps.h"
#include "tools/hu/head_unit_arg.h"
#include "tools/hu/sim_commands.h"

namespace hu {

namespace {

std::atomic<bool> g_stop{false};

void requestStop(int) { g_stop = true; }

}  // namespace

int runShellSimulator(const std::string& headUnitDir, const Args& options) {
    sim::ShellOptions shell;
    for (size_t i = 0; i < options.size(); ++i) {
        if (options[i] == "--windows" && i + 1 < options.size()) {
            shell.titles.clear();
            const std::string& list = options[++i];
            size_t start = 0;
            for (size_t comma; (comma = list.find(',', start)) != std::string::npos; start = comma + 1) {
                shell.titles.push_back(list.substr(start, comma - start));
            }
            shell.titles.push_back(list.substr(start));
        } else {
            std::fprintf(stderr, "hu sim shell: unknown option %s (options: --windows A,B,...)\n", options[i].c_str());
            return 2;
        }
    }
    auto headUnit = enterHeadUnit(headUnitDir, "hu sim shell", Registry::NotNeeded);
    if (!headUnit) return 1;
    const auto root = *headUnit;
    ce::setProgramName("shell");

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    std::printf("shell: windows %zu up, logging to %s\n", shell.titles.size(), (root / "log" / "shell.log").c_str());
    std::fflush(stdout);
    return sim::runShell(root, shell, &g_stop);
}

}  // namespace hu
