#pragma once
// What the demo saw of the head unit while the update ran, each thing with the moment it was
// seen (the monotonic clock in milliseconds, the clock of the board's GPIO log): every page of
// the updater and the panel installer from its appearance to its close with each text its
// controls showed, the updater's debug lines as they were written, and each image the
// Bluetooth module stored. The checks and the time accounting read it after the run.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/types.h"
#include "platform/ui/window.h"

namespace hu::demo {

enum class PageKind { Main, Os, Mcu, Bluetooth, Installer, MessageBox };

// "main page", "OS update", "MCU update", "Bluetooth update", "panel installer", "message box".
const char* pageName(PageKind kind);

struct TextChange {
    uint64_t at = 0;
    std::string text;
};

// One appearance of a page, from the moment it showed to the moment it went.
struct PageVisit {
    PageKind kind = PageKind::Main;
    ce::HWND hwnd = 0;
    uint64_t shownAt = 0;
    std::optional<uint64_t> closedAt;
    std::map<int, std::vector<TextChange>> texts;  // each control's text, every change in order
    std::map<int, ce::ControlState> controls;      // each control as last seen
    std::vector<std::filesystem::path> screenshots;

    // The control's text as last seen ("" when never seen).
    std::string text(int id) const;
    // When the control first showed exactly this text.
    std::optional<uint64_t> firstShown(int id, const std::string& text) const;
    bool showed(int id, const std::string& text) const { return firstShown(id, text).has_value(); }
};

struct LogLine {
    uint64_t at = 0;
    std::string text;
};

struct DesktopRecord {
    std::vector<PageVisit> visits;           // in the order the pages appeared
    std::vector<LogLine> updaterLog;         // log/UpdateXan.log, line by line as it grew
    std::vector<uint64_t> bluetoothImages;   // when the module stored a received image

    // The visits of one kind, oldest first.
    std::vector<const PageVisit*> visitsOf(PageKind kind) const;
    // The latest visit of that kind that is still open.
    const PageVisit* openVisit(PageKind kind) const;
    const PageVisit* lastVisit(PageKind kind) const;
    // When a debug line holding `fragment` first arrived at or after `from`.
    std::optional<uint64_t> logged(const std::string& fragment, uint64_t from = 0) const;
    // The last debug line holding `fragment` ("" when none), without its line end.
    std::string lastLogLine(const std::string& fragment) const;
    int countLogged(const std::string& fragment) const;
};

}  // namespace hu::demo
