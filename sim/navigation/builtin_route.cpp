// The route the simulated navigation program plays when it is given none: a short drive
// through Seoul that shows every kind of guidance the panel draws.

#include <stdexcept>

#include "sim/navigation/route.h"

namespace sim::nav {

namespace {

constexpr const char* kBuiltinRoute = R"(# The built-in route: every turn class and safety class of the panel, distances in m and km,
# Hangul road names, and a camera approach whose distance blinks. Records are asked for once
# a second; an icon shows for the first two records of a code.
0     wait-panel 30                     # until a panel has subscribed
+0    route-found
+0    start
+0    goal
+0    speed 54
+0    manoeuvre turn 2 distance 850 road1 "테헤란로" road2 "강남대로 방면"   # keyed arrow, metres
+0    show                              # the panel appears two seconds later
+5    manoeuvre turn 5 distance 1.8km road1 "올림픽대로" road2 "잠실 방면"  # kilometres
+3    manoeuvre turn 12 distance 1.2km road1 "Olympic-daero" road2 "Jamsil"
+3    manoeuvre turn 30 distance 2.4km road1 "경부고속도로" road2 "서울 요금소"  # opaque icon
+3    manoeuvre turn 103 distance 640 road1 "반포대로"
+3    safety 111                        # safety icons: shown twice, erased by the third record
+3    safety 124
+3    safety 143 camera 800             # a fixed 110 km limit
+3    safety 160 limit 80 camera 600    # camera approach: the distance counts down and blinks
+6    safety 246 camera 300             # bus lane
+3    safety none
+0    manoeuvre turn 60 distance 420 road1 "세종대로" road2 ""   # unknown code: the arrow stays
+3    manoeuvre turn 104 distance 300 road1 "종로" road2 "광화문"
+3    manoeuvre turn 41 distance 1001 road1 "북악산로"
+3    manoeuvre turn 22 distance 120 road1 "삼청로"
+3    manoeuvre turn 0 distance 0 road1 "" road2 ""
+1    speed 0
+1    end-guide
+2    hide
+2    destroy
)";

}  // namespace

const char* builtinRouteText() { return kBuiltinRoute; }

Route builtinRoute() {
    std::string error;
    auto route = parseRoute(kBuiltinRoute, "built-in route", &error);
    if (!route) throw std::logic_error(error);  // the tests parse it: a broken built-in route never ships
    return *route;
}

}  // namespace sim::nav
