#include "sim/shell/shell_log.h"

#include "sim/board/json_lines.h"

namespace sim {

std::filesystem::path ShellLog::file(const std::filesystem::path& root) { return root / "log" / "shell.log"; }

void ShellLog::append(const std::filesystem::path& root, const ShellMessage& m) {
    appendJsonLine(file(root), {{"t_ms", m.t_ms},     {"window", m.window}, {"msg", m.msg},
                                {"wParam", m.wParam}, {"lParam", m.lParam}, {"how", m.posted ? "posted" : "sent"}});
}

std::vector<ShellMessage> ShellLog::read(const std::filesystem::path& root) {
    std::vector<ShellMessage> messages;
    for (const auto& json : readJsonLines(file(root))) {
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
