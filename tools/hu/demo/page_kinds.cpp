#include "tools/hu/demo/page_kinds.h"

#include "platform/core/paths.h"
#include "platform/core/text.h"

namespace hu::demo {

PageLayout layoutOf(PageKind kind) {
    switch (kind) {
        case PageKind::Os: return {1002, 1003};
        case PageKind::Mcu: return {1004, 1005};
        case PageKind::Bluetooth: return {1009, 1011};
        case PageKind::Installer: return {1000, 1001};
        case PageKind::Main: return {1006, 0};
        case PageKind::MessageBox: return {-1, 0};
    }
    return {0, 0};
}

const char* slugOf(PageKind kind) {
    switch (kind) {
        case PageKind::Main: return "main";
        case PageKind::Os: return "os-update";
        case PageKind::Mcu: return "mcu-update";
        case PageKind::Bluetooth: return "bluetooth-update";
        case PageKind::Installer: return "panel-installer";
        case PageKind::MessageBox: return "message-box";
    }
    return "page";
}

bool isStepPage(PageKind kind) { return kind == PageKind::Os || kind == PageKind::Mcu || kind == PageKind::Bluetooth; }

std::string programOf(const ce::TopLevelWindow& w) {
    std::string name = ce::asciiLower(ce::fileNameOf(w.program));
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) name.resize(name.size() - 4);
    return name;
}

std::optional<PageKind> classifyPage(const ce::TopLevelWindow& w, const std::vector<ce::ControlState>& described) {
    const std::string program = programOf(w);
    if (program == "zek_update") return w.title == "ZEK_UPDATE" ? std::optional(PageKind::Installer) : std::nullopt;
    if (program != "updatexan") return std::nullopt;
    auto has = [&](int id) {
        for (size_t i = 1; i < described.size(); ++i)
            if (described[i].id == id) return true;
        return false;
    };
    if (has(1000) && has(1001) && has(1008)) return PageKind::Main;
    if (has(1002) && has(1003)) return PageKind::Os;
    if (has(1004) && has(1005)) return PageKind::Mcu;
    if (has(1009) && has(1011)) return PageKind::Bluetooth;
    return PageKind::MessageBox;
}

const ce::ControlState* PageSighting::control(int id) const {
    for (size_t i = 1; i < controls.size(); ++i)
        if (controls[i].id == id) return &controls[i];
    return nullptr;
}

std::vector<PageSighting> lookAtPages() {
    std::vector<PageSighting> sightings;
    for (const auto& w : ce::enumTopLevelWindows()) {
        if (!w.visible) continue;
        const std::string program = programOf(w);
        if (program != "updatexan" && program != "zek_update") continue;
        auto described = ce::describeControls(w.hwnd);
        if (!described.ok() || described->empty()) continue;
        if (auto kind = classifyPage(w, *described)) sightings.push_back(PageSighting{w.hwnd, *kind, std::move(*described)});
    }
    return sightings;
}

std::string oneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        out += c == '\n' ? ' ' : c;
    }
    size_t start = out.find_first_not_of(' ');
    return start == std::string::npos ? std::string() : out.substr(start);
}

}  // namespace hu::demo
