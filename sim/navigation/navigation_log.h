#pragma once
// What the simulated navigation program did, on disk: log/navigation.log in the head unit, one
// JSON object a line, appended as it happens, readable while the program runs:
//   {"t_ms":123,"event":"record","panel":2049,"answered":1,"distance":850,"turn":2,...}
// t_ms is sim::monotonicMs(). Events: "started", "subscribed" (panel), "unsubscribed",
// "request", "record" (panel, answered, the record's fields), "unanswered" (why), "show",
// "hide", "subscribe" (on), "broadcast" (code, arg), "route" (line, what: a route event was
// played), "no-panel" (what could not be sent), "ended".

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim::nav {

struct NavigationEvent {
    uint64_t t_ms = 0;
    std::string event;
    nlohmann::json detail;  // the line's other members
};

class NavigationLog {
public:
    static std::filesystem::path file(const std::filesystem::path& root);
    static void append(const std::filesystem::path& root, const std::string& event, nlohmann::json detail = {});
    // Every whole line so far, oldest first.
    static std::vector<NavigationEvent> read(const std::filesystem::path& root);
};

}  // namespace sim::nav
