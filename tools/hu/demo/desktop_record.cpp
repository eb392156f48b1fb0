#include "tools/hu/demo/desktop_record.h"

namespace hu::demo {

const char* pageName(PageKind kind) {
    switch (kind) {
        case PageKind::Main: return "main page";
        case PageKind::Os: return "OS update";
        case PageKind::Mcu: return "MCU update";
        case PageKind::Bluetooth: return "Bluetooth update";
        case PageKind::Installer: return "panel installer";
        case PageKind::MessageBox: return "message box";
    }
    return "page";
}

std::string PageVisit::text(int id) const {
    auto it = texts.find(id);
    return it == texts.end() || it->second.empty() ? std::string() : it->second.back().text;
}

std::optional<uint64_t> PageVisit::firstShown(int id, const std::string& wanted) const {
    auto it = texts.find(id);
    if (it == texts.end()) return std::nullopt;
    for (const auto& change : it->second)
        if (change.text == wanted) return change.at;
    return std::nullopt;
}

std::vector<const PageVisit*> DesktopRecord::visitsOf(PageKind kind) const {
    std::vector<const PageVisit*> found;
    for (const auto& v : visits)
        if (v.kind == kind) found.push_back(&v);
    return found;
}

const PageVisit* DesktopRecord::openVisit(PageKind kind) const {
    for (auto it = visits.rbegin(); it != visits.rend(); ++it)
        if (it->kind == kind && !it->closedAt) return &*it;
    return nullptr;
}

const PageVisit* DesktopRecord::lastVisit(PageKind kind) const {
    for (auto it = visits.rbegin(); it != visits.rend(); ++it)
        if (it->kind == kind) return &*it;
    return nullptr;
}

std::optional<uint64_t> DesktopRecord::logged(const std::string& fragment, uint64_t from) const {
    for (const auto& line : updaterLog)
        if (line.at >= from && line.text.find(fragment) != std::string::npos) return line.at;
    return std::nullopt;
}

std::string DesktopRecord::lastLogLine(const std::string& fragment) const {
    for (auto it = updaterLog.rbegin(); it != updaterLog.rend(); ++it) {
        if (it->text.find(fragment) == std::string::npos) continue;
        std::string line = it->text;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
        return line;
    }
    return {};
}

int DesktopRecord::countLogged(const std::string& fragment) const {
    int count = 0;
    for (const auto& line : updaterLog)
        if (line.text.find(fragment) != std::string::npos) ++count;
    return count;
}

}  // namespace hu::demo
