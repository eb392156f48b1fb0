#include "sim/navigation/navigation_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>

#include "sim/board/sim_clock.h"

namespace sim::nav {

std::filesystem::path NavigationLog::file(const std::filesystem::path& root) { return root / "log" / "navigation.log"; }

void NavigationLog::append(const std::filesystem::path& root, const std::string& event, nlohmann::json detail) {
    nlohmann::json line = {{"t_ms", monotonicMs()}, {"event", event}};
    if (detail.is_object()) line.update(detail);
    const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    std::error_code ec;
    std::filesystem::create_directories(file(root).parent_path(), ec);
    // One write of a whole line in append mode, so readers never see half a line mixed in.
    const int fd = ::open(file(root).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return;
    [[maybe_unused]] ssize_t written = ::write(fd, text.data(), text.size());
    ::close(fd);
}

std::vector<NavigationEvent> NavigationLog::read(const std::filesystem::path& root) {
    std::vector<NavigationEvent> events;
    std::ifstream in(file(root));
    std::string line;
    while (std::getline(in, line)) {
        if (in.eof()) break;  // a line still being written has no line end yet
        auto json = nlohmann::json::parse(line, nullptr, false);
        if (!json.is_object()) continue;
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
