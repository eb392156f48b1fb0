// `hu sim DIR shell [--windows A,B,...]`: the head unit's own applications ("ZOVEDIZUZ",
// "GUI_Main", "ORV_MAINMENU", "ORV_SETUP") as windows that log every message they receive to
// log/shell.log. Runs until SIGINT/SIGTERM or until every window has been closed.

#include <csignal>
#include <cstdio>
#include <memory>

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

SimulatorRun describeShell(cli::Parser& verb) {
    auto shell = std::make_shared<sim::ShellOptions>();
    verb.option("--windows", "A,B,...", "the windows' titles (ZOVEDIZUZ,GUI_Main,ORV_MAINMENU,ORV_SETUP)",
                [shell](std::string& list) {
                    shell->titles = cli::splitList(list);
                    return std::string();
                });
    return [shell](const std::string& headUnitDir) {
        auto headUnit = enterHeadUnit(headUnitDir, "hu sim shell", Registry::NotNeeded);
        if (!headUnit) return 1;
        const auto root = *headUnit;
        ce::setProgramName("shell");

        std::signal(SIGINT, requestStop);
        std::signal(SIGTERM, requestStop);
        std::printf("shell: windows %zu up, logging to %s\n", shell->titles.size(), (root / "log" / "shell.log").c_str());
        std::fflush(stdout);
        return sim::runShell(root, *shell, &g_stop);
    };
}

}  // namespace hu
