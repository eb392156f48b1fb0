#pragma once
// What the simulated shell applications received, on disk: log/shell.log in the head unit,
// one JSON object a line, appended as each message is handled:
//   {"t_ms":123456789,"window":"GUI_Main","msg":1435,"wParam":0,"lParam":0,"how":"sent"}
// t_ms is sim::monotonicMs() (the clock of the board's GPIO log), "how" is "sent" or
// "posted". Other processes read it while the shell runs.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sim {

struct ShellMessage {
    uint64_t t_ms = 0;
    std::string window;
    uint32_t msg = 0;
    int64_t wParam = 0;
    int64_t lParam = 0;
    bool posted = false;
};

class ShellLog {
public:
    static std::filesystem::path file(const std::filesystem::path& root);
    static void append(const std::filesystem::path& root, const ShellMessage& message);
    // Every whole line so far, oldest first.
    static std::vector<ShellMessage> read(const std::filesystem::path& root);
};

}  // namespace sim
