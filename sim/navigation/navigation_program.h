#pragma once
// The navigation program as the guidance panel meets it: a full-screen top-level window
// titled "Kelo" that shows a map (map_scene.h) and plays a route (route.h) to the panel.
//
// It keeps the panel window that subscribes with WM_COPYDATA 1198 (wParam 0 withdraws it),
// answers each WM_COPYDATA 1040 with a guidance record of the route's current state, sent by
// WM_COPYDATA to the subscribed window once the request's send has returned, posts the show
// or hide request (1224) and the subscription number (1426) to the panel window, and
// broadcasts the route's "QTL_MSG_BROADCAST" codes. Between route events the car drives at
// the last speed, so the distances count down. Everything it does goes to
// log/navigation.log (navigation_log.h) and, one line each, to stdout.
//
// The destroy event broadcasts 1005 and ends the program, as the navigation program does
// when it closes.

#include <atomic>
#include <filesystem>

#include "sim/navigation/route.h"

namespace sim::nav {

struct NavigationOptions {
    Route route;
    bool quiet = false;    // no lines on stdout
    bool topmost = false;  // above other programs' full-screen pages (the panel, topmost too, stays above)
};

// Runs the window on the calling thread until the route's destroy event, until the window is
// closed or until *stop becomes true (checked at least every 100 ms). The process's profile
// must be the head unit's. Returns 0, or 1 with a line on stderr when the window cannot be
// created (another navigation program holds the title "Kelo").
int runNavigation(const std::filesystem::path& root, const NavigationOptions& options, const std::atomic<bool>* stop);

}  // namespace sim::nav
