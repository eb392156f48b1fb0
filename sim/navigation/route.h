#pragma once
// A route: the timed events the simulated navigation program plays to the panel.
//
// Route files are outside input, so each is read whole, bounded (1 MiB, 10 000 events) and
// checked before anything plays; an error names the file and the line.
//
// Text format, one event a line, '#' starts a comment (outside quotes):
//
//     TIME  EVENT [VALUE] [KEY VALUE]...
//
// TIME is seconds from the start of playback ("12.5") or after the previous event ("+1.5");
// times never go backwards. Values with spaces go in double quotes (\" and \\ inside).
//
//     show | hide                       1224 to the panel: show (appears 2 s later) or hide
//     subscribe on|off                  1426 to the panel: ask for guidance records or stop
//     speed KMH                         broadcast 1011 (0..999 km/h); the car moves at it
//     start | goal | route-found        broadcast 1016, 1017, 1007
//     raise | end-guide | destroy       broadcast 1018, 1019, 1005
//     manoeuvre turn N distance D [road1 "…"] [road2 "…"]
//                                       the next manoeuvre (turn code 0..255, distance in m or
//                                       km, "1.2km"); road names keep their value when left out
//     safety CODE|none [limit KMH] [camera D]
//                                       the next safety point (code 0..255, none = 0)
//     wait-panel [SECONDS]              hold playback until a panel has subscribed (default
//                                       30 s; playback goes on after that either way)
//     wait-no-panel [SECONDS]           hold playback until the subscription is withdrawn
//                                       (a collapsed panel withdraws it)
//
// Between events the car drives at the last speed: the distances to the manoeuvre and to the
// safety point count down to 0.
//
// JSON format: an array of objects, one per event, with the same words: "event" names it,
// "at" or "after" gives the time, "value" the VALUE, and the keys their values, e.g.
//     [{"at": 0, "event": "show"}, {"after": 1.5, "event": "speed", "value": 48},
//      {"after": 1, "event": "manoeuvre", "turn": 12, "distance": "1.2km", "road1": "테헤란로"}]

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/navigation/guidance_record.h"

namespace sim::nav {

enum class RouteAction {
    Show, Hide, SubscribeOn, SubscribeOff,
    Speed, Start, Goal, RouteFound, Raise, EndGuide, Destroy,
    Manoeuvre, Safety, WaitPanel, WaitNoPanel,
};

struct RouteEvent {
    uint32_t atMs = 0;  // from the start of playback
    RouteAction action = RouteAction::Show;
    int line = 0;       // where it stands in its file
    uint32_t value = 0;  // speed (km/h), or how long a wait holds at most (ms)
    // Manoeuvre: distance, turn, roads (given ones only); Safety: safety, limit, camera.
    GuidanceFields guidance;
    bool road1Given = false;
    bool road2Given = false;
};

struct Route {
    std::string name;  // the file, or "built-in route"
    std::vector<RouteEvent> events;
};

// Parses a route from text (JSON when its first non-blank character is '['). On failure
// returns nothing and sets *error to "NAME:LINE: what is wrong".
std::optional<Route> parseRoute(std::string_view text, const std::string& name, std::string* error);

// Reads and parses a route file (at most 1 MiB).
std::optional<Route> loadRoute(const std::filesystem::path& file, std::string* error);

// The built-in route: every turn class and safety class the panel knows, both distance units,
// Hangul road names and a camera approach with a blinking distance.
const char* builtinRouteText();
Route builtinRoute();

// The event's name as route files write it ("end-guide").
const char* actionName(RouteAction action);

}  // namespace sim::nav
