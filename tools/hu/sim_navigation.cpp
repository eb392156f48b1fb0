// `hu sim DIR navigation [--route FILE] [--topmost] [--print-route]`: the navigation program's
// stand-in, a full-screen window "Kelo" with a map, playing a route to the guidance panel (the
// built-in route unless --route names a file; --topmost keeps the map above other programs'
// full-screen pages). Runs until the route's destroy event, SIGINT or SIGTERM.

#include <csignal>
#include <cstdio>

#include "platform/core/debug.h"
#include "sim/navigation/navigation_program.h"
#include "tools/hu/head_unit_arg.h"
#include "tools/hu/sim_commands.h"

namespace hu {

namespace {

std::atomic<bool> g_stop{false};

void requestStop(int) { g_stop = true; }

}  // namespace

int runNavigationSimulator(const std::string& headUnitDir, const Args& options) {
    std::string routeFile;
    bool topmost = false;
    for (size_t i = 0; i < options.size(); ++i) {
        if (options[i] == "--route" && i + 1 < options.size()) {
            routeFile = options[++i];
        } else if (options[i] == "--topmost") {
            topmost = true;
        } else if (options[i] == "--print-route") {
            std::printf("%s", sim::nav::builtinRouteText());
            return 0;
        } else {
            std::fprintf(stderr, "hu sim navigation: unknown option %s (options: --route FILE, --topmost, --print-route)\n", options[i].c_str());
            return 2;
        }
    }
    sim::nav::NavigationOptions navigation;
    navigation.topmost = topmost;
    if (routeFile.empty()) {
        navigation.route = sim::nav::builtinRoute();
    } else {
        std::string error;
        auto route = sim::nav::loadRoute(routeFile, &error);
        if (!route) {
            std::fprintf(stderr, "hu sim navigation: %s\n", error.c_str());
            return 1;
        }
        navigation.route = std::move(*route);
    }
    auto headUnit = enterHeadUnit(headUnitDir, "hu sim navigation", Registry::NotNeeded);
    if (!headUnit) return 1;
    ce::setProgramName("navigation");

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    return sim::nav::runNavigation(*headUnit, navigation, &g_stop);
}

}  // namespace hu
