#pragma once
// The simulators' event logs: one JSON object a line, appended while the simulator runs and read
// by tests and `hu` at the same time. Each line goes out in one write in append mode, so a reader
// never sees half a line mixed in, and the log is never written through a link planted in its
// place.

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim {

inline void appendJsonLine(const std::filesystem::path& file, const nlohmann::json& line) {
    const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return;
    [[maybe_unused]] ssize_t written = ::write(fd, text.data(), text.size());
    ::close(fd);
}

// Every whole line so far that holds a JSON object, oldest first.
inline std::vector<nlohmann::json> readJsonLines(const std::filesystem::path& file) {
    std::vector<nlohmann::json> lines;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (in.eof()) break;  // a line still being written has no line end yet
        auto json = nlohmann::json::parse(line, nullptr, false);
        if (json.is_object()) lines.push_back(std::move(json));
    }
    return lines;
}

}  // namespace sim
