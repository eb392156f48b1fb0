#pragma once
// The head unit's own applications as the updater meets them: top-level windows titled
// "ZOVEDIZUZ", "GUI_Main", "ORV_MAINMENU" and "ORV_SETUP". Each logs every message it receives
// from outside (number, parameters, sent or posted, time; see shell_log.h) and closes on
// WM_CLOSE as an application would. The shell ends when its last window has closed or when
// asked to stop.

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

namespace sim {

inline const std::vector<std::string> kShellWindowTitles = {"ZOVEDIZUZ", "GUI_Main", "ORV_MAINMENU", "ORV_SETUP"};

struct ShellOptions {
    std::vector<std::string> titles = kShellWindowTitles;
};

// Runs the windows on the calling thread until they are all closed or *stop becomes true
// (checked at least every 100 ms). The process's profile must be the head unit's. Returns 0,
// or 1 with a line on stderr when a window cannot be created.
int runShell(const std::filesystem::path& root, const ShellOptions& options, const std::atomic<bool>* stop);

}  // namespace sim
