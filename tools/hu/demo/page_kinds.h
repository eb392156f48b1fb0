#pragma once
// The pages of the updater and the panel installer as seen from outside: which page a window
// is (told by its program, its title and its controls) and where each page keeps its status
// line and its progress bar. The demo's page follower and `hu watch` read the screen with it.

#include <optional>
#include <string>
#include <vector>

#include "platform/ui/desktop.h"
#include "tools/hu/demo/desktop_record.h"

namespace hu::demo {

struct PageLayout {
    int status;    // the control with the page's status text
    int progress;  // its progress bar; 0: none
};

PageLayout layoutOf(PageKind kind);

// "main", "os-update", ...: the page's name in file names and JSON events.
const char* slugOf(PageKind kind);

bool isStepPage(PageKind kind);

// The program's file name in lower case without ".exe": "updatexan", "zek_update", "kelo_zek".
std::string programOf(const ce::TopLevelWindow& window);

// The page a window of the updater or the installer is; nothing for any other window.
std::optional<PageKind> classifyPage(const ce::TopLevelWindow& window, const std::vector<ce::ControlState>& described);

// A page of the updater or the installer as one look at the desktop found it.
struct PageSighting {
    ce::HWND hwnd = 0;
    PageKind kind = PageKind::Main;
    std::vector<ce::ControlState> controls;  // the window first, then its controls

    const ce::ControlState* control(int id) const;
};

// One look at the desktop: the visible pages of the updater and the installer.
std::vector<PageSighting> lookAtPages();

// A text on one line: line ends become spaces, leading spaces go.
std::string oneLine(const std::string& text);

}  // namespace hu::demo
