#include "sim/shell/shell_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>

#include <nlohmann/json.hpp>

namespace sim {

std::filesystem::path ShellLog::file(const std::filesystem::path& root) { return root / "log" / "shell.log"; }

void ShellLog::append(const std::filesystem::path& root, const ShellMessage& m) {
    nlohmann::json line = {{"t_ms", m.t_ms},   {"window", m.window}, {"msg", m.msg},
                           {"wParam", m.wParam}, {"lParam", m.lParam}, {"how", m.posted ? "posted" : "sent"}};
    const std::string text = line.dump() + "\n";
    std::filesystem::create_directories(file(root).parent_path());
    // One write of a whole line, in append mode, so readers never see half a line mixed in.
    int fd = ::open(file(root).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    [[maybe_unused]] ssize_t written = ::write(fd, text.data(), text.size());
    ::close(fd);
}

std::vector<ShellMessage> ShellLog::read(const std::filesystem::path& root) {
    std::vector<ShellMessage> messages;
    std::ifstream in(file(root));
    std::string line;
    while (std::getline(in, line)) {
        if (in.eof()) break;  // a line still being written has no line end yet
        auto json = nlohmann::json::parse(line, nullptr, false);
        if (!json.is_object()) continue;
        ShellMessage m;
        m.t_ms = json.value("t_ms", uint64_t{0});
        m.window = json.value("window", "");
        m.msg = json.value("msg", 0u);
        m.wParam = json.value("wParam", int64_t{0});
        m.lParam = json.value("lParam", int64_t{0});
        m.posted = json.value("how", "") == "posted";
        messages.push_back(m);
    }
    return messages;
}

}  // namespace sim
