// `hu sim DIR navigation [--route FILE] [--topmost] [--print-route]`: the navigation program's
// stand-in, a full-screen window "Kelo" with a map, playing a route to the guidance panel (the
// built-in route unless --route names a file; --topmost keeps the map above other programs'
// full-screen pages). Runs until the route's destroy event, SIGINT or SIGTERM.

#include <csignal>
#include <cstdio>
#include <memory>

#include "platform/core/debug.h"
#include "sim/navigation/navigation_program.h"
#include "tools/hu/head_unit_arg.h"
#include "tools/hu/sim_commands.h"

namespace hu {

namespace {

std::atomic<bool> g_stop{false};

void requestStop(int) { g_stop = true; }

}  // namespace

SimulatorRun describeNavigation(cli::Parser& verb) {
    struct Options {
        std::string routeFile;
        bool topmost = false;
        bool printRoute = false;
    };
    auto o = std::make_shared<Options>();
    verb.text("--route", "FILE", o->routeFile, "the route to play (default: the built-in one)")
        .flag("--topmost", o->topmost, "keep the map above other programs' full-screen pages")
        .flag("--print-route", o->printRoute, "print the built-in route, a starting point for a route file, and exit");
    return [o](const std::string& headUnitDir) {
        if (o->printRoute) {
            std::printf("%s", sim::nav::builtinRouteText());
            return 0;
        }
        sim::nav::NavigationOptions navigation;
        navigation.topmost = o->topmost;
        if (o->routeFile.empty()) {
            navigation.route = sim::nav::builtinRoute();
        } else {
            std::string error;
            auto route = sim::nav::loadRoute(o->routeFile, &error);
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
    };
}

}  // namespace hu
