#include "sim/navigation/navigation_log.h"

#include "sim/board/json_lines.h"
#include "sim/board/sim_clock.h"

namespace sim::nav {

std::filesystem::path NavigationLog::file(const std::filesystem::path& root) { return root / "log" / "navigation.log"; }

void NavigationLog::append(const std::filesystem::path& root, const std::string& event, nlohmann::json detail) {
    nlohmann::json line = {{"t_ms", monotonicMs()}, {"event", event}};
    if (detail.is_object()) line.update(detail);
    appendJsonLine(file(root), line);
}

std::vector<NavigationEvent> NavigationLog::read(const std::filesystem::path& root) {
    std::vector<NavigationEvent> events;
    for (auto& json : readJsonLines(file(root))) {
        NavigationEvent e;
        e.t_ms = json.value("t_ms", uint64_t{0});
        e.event = json.value("event", "");
        json.erase("t_ms");
        json.erase("event");
        e.detail = std::move(json);
        events.push_back(std::move(e));
    }
    return events;
}

}  // namespace sim::nav
