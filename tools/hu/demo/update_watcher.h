#pragma once
// UpdateWatcher: follows what the head unit's programs show, from outside, as a person in
// front of the screen would: the updater's pages with their status text and progress, the
// panel installer's status and percentage, the guidance panel's state, and the update's
// result. Fed one look at the desktop at a time, it says what changed as events; `hu watch`
// prints them, `hu demo --json` writes them beside its own.
//
// The result is what the screens say: the main page's success or failure message, the
// installer's success or failure text. An updater that ends without showing either failed; a
// main page that finds no new software ran no update.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/hu/demo/page_kinds.h"

namespace hu::demo {

// One look at the desktop: the pages shown, which programs have windows, the panel window.
struct DesktopLook {
    std::vector<PageSighting> pages;
    bool updaterRunning = false;
    bool installerRunning = false;
    std::optional<ce::Rect> panel;  // the guidance panel's rectangle while it runs (empty: hidden)
};

DesktopLook lookAtDesktop();

struct WatchEvent {
    uint64_t at = 0;      // monotonic clock, ms
    std::string kind;     // "page", "status", "progress", "closed", "panel", "result"
    std::string program;  // "UpdateXan", "ZEK_Update", "Kelo_ZEK"; empty for the result
    std::string page;     // "main", "mcu-update", ... (the panel: its state)
    std::string text;
    std::optional<int> progress;  // percent
    std::string result;           // the result event's "success", "failure" or "nothing ran"

    // {"time": seconds since startMs, "event": ..., "program", "page", "text", "progress"}.
    nlohmann::json toJson(uint64_t startMs) const;
    // One line for a terminal.
    std::string describe() const;
};

enum class Outcome { Running, Success, Failure, NothingToDo };

// "running", "success", "failure", "nothing ran".
const char* outcomeName(Outcome outcome);

class UpdateWatcher {
public:
    // The events of what changed since the previous look; the result event comes once, when the
    // update is over (done() turns true).
    std::vector<WatchEvent> observe(const DesktopLook& look, uint64_t now);

    // True once the updater (or, when only the installer ran, the installer) has come to an
    // end and the installer running beside it has too.
    bool done() const { return done_; }
    bool sawAnything() const { return sawUpdater_ || sawInstaller_; }
    Outcome outcome() const;
    std::string outcomeDetail() const { return detail_; }

    // The panel's state for a rectangle: "hidden", "collapsed", "horizontal" or "vertical".
    static std::string panelState(const ce::Rect& rect);

private:
    struct OpenPage {
        PageKind kind;
        std::string status;
        std::optional<int> progress;
        std::string lastText;  // the page's last status text, told when it closes
    };

    void follow(const PageSighting& page, uint64_t now, std::vector<WatchEvent>& events);
    void settle(const DesktopLook& look, uint64_t now, std::vector<WatchEvent>& events);

    std::map<ce::HWND, OpenPage> open_;
    std::optional<std::string> panel_;
    bool sawUpdater_ = false, sawInstaller_ = false;
    std::optional<Outcome> updaterResult_, installerResult_;
    std::string detail_;
    bool done_ = false;
};

}  // namespace hu::demo
