#include "tools/hu/demo/update_watcher.h"

#include <algorithm>
#include <set>

#include <fmt/format.h>

#include "installer/dialog/installer_dlg.h"
#include "updater/main_page/main_page_texts.h"

namespace hu::demo {

namespace {

constexpr updater::Language kLanguages[] = {updater::Language::Korean, updater::Language::Russian, updater::Language::English};

bool isAnyOf(const std::string& text, const char* (*message)(updater::Language)) {
    for (auto language : kLanguages)
        if (text == message(language)) return true;
    return false;
}

// The installer's failure text up to its count of files.
bool isInstallerFailure(const std::string& text) {
    const std::string failure = installer::kFailureText;
    const std::string prefix = failure.substr(0, failure.find('('));
    return text.compare(0, prefix.size(), prefix) == 0;
}

const char* programName(PageKind kind) { return kind == PageKind::Installer ? "ZEK_Update" : "UpdateXan"; }

std::optional<int> percentOf(const PageSighting& page) {
    const int id = layoutOf(page.kind).progress;
    const ce::ControlState* bar = id ? page.control(id) : nullptr;
    if (!bar || !bar->hasRange) return std::nullopt;
    const long long span = static_cast<long long>(bar->rangeMax) - bar->rangeMin;
    if (span <= 0) return 0;
    const long long done = std::clamp<long long>(static_cast<long long>(bar->pos) - bar->rangeMin, 0, span);
    return static_cast<int>(done * 100 / span);
}

std::string firstLine(const std::string& text) {
    const std::string line = text.substr(0, text.find_first_of("\r\n"));
    return line.empty() ? oneLine(text) : line;
}

}  // namespace

DesktopLook lookAtDesktop() {
    DesktopLook look;
    for (const auto& w : ce::enumTopLevelWindows()) {
        const std::string program = programOf(w);
        if (program == "updatexan") look.updaterRunning = true;
        if (program == "zek_update") look.installerRunning = true;
        if (program == "kelo_zek" && w.title == "ORV_KELO_ZEK") look.panel = w.visible ? w.rect : ce::Rect{};
    }
    look.pages = lookAtPages();
    return look;
}

nlohmann::json WatchEvent::toJson(uint64_t startMs) const {
    nlohmann::json j = {{"time", static_cast<double>(at >= startMs ? at - startMs : 0) / 1000.0}, {"event", kind}};
    if (!program.empty()) j["program"] = program;
    if (!page.empty()) j["page"] = page;
    j["text"] = text;
    if (progress) j["progress"] = *progress;
    if (!result.empty()) j["result"] = result;
    return j;
}

std::string WatchEvent::describe() const {
    const std::string said = oneLine(text);
    if (kind == "result") return fmt::format("result: {}{}", result, said.empty() ? "" : " (" + said + ")");
    if (kind == "panel") return fmt::format("guidance panel: {}", page);
    std::string line = fmt::format("{} {}", program, page);
    if (kind == "page") line += " appeared";
    if (kind == "closed") line += " closed";
    if (!said.empty()) line += ": " + said;
    if (progress && kind != "closed") line += fmt::format(" [{} %]", *progress);
    return line;
}

const char* outcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Running: return "running";
        case Outcome::Success: return "success";
        case Outcome::Failure: return "failure";
        case Outcome::NothingToDo: return "nothing ran";
    }
    return "running";
}

std::string UpdateWatcher::panelState(const ce::Rect& rect) {
    if (rect.width() <= 0 || rect.height() <= 0) return "hidden";
    if (rect.width() <= 40) return "collapsed";
    return rect.width() > rect.height() ? "horizontal" : "vertical";
}

Outcome UpdateWatcher::outcome() const {
    if (!done_) return Outcome::Running;
    if (updaterResult_ == Outcome::Failure || installerResult_ == Outcome::Failure) return Outcome::Failure;
    if (updaterResult_ == Outcome::Success || installerResult_ == Outcome::Success) return Outcome::Success;
    return Outcome::NothingToDo;
}

std::vector<WatchEvent> UpdateWatcher::observe(const DesktopLook& look, uint64_t now) {
    std::vector<WatchEvent> events;
    if (done_) return events;
    std::set<ce::HWND> present;
    for (const auto& page : look.pages) {
        present.insert(page.hwnd);
        follow(page, now, events);
    }
    for (auto it = open_.begin(); it != open_.end();) {
        if (present.count(it->first)) {
            ++it;
            continue;
        }
        events.push_back({now, "closed", programName(it->second.kind), slugOf(it->second.kind), it->second.status, {}, {}});
        it = open_.erase(it);
    }
    std::optional<std::string> panel;
    if (look.panel) panel = panelState(*look.panel);
    if (panel != panel_) {
        events.push_back({now, "panel", "Kelo_ZEK", panel.value_or("ended"), "", {}, {}});
        panel_ = panel;
    }
    settle(look, now, events);
    return events;
}

void UpdateWatcher::follow(const PageSighting& page, uint64_t now, std::vector<WatchEvent>& events) {
    (page.kind == PageKind::Installer ? sawInstaller_ : sawUpdater_) = true;
    const ce::ControlState* statusControl = page.control(layoutOf(page.kind).status);
    const std::string status = statusControl ? statusControl->text : std::string();
    const std::optional<int> progress = percentOf(page);
    auto [it, fresh] = open_.try_emplace(page.hwnd, OpenPage{page.kind, status, progress, {}});
    OpenPage& open = it->second;
    const std::string program = programName(page.kind), slug = slugOf(page.kind);
    if (fresh) events.push_back({now, "page", program, slug, status, progress, {}});
    else if (status != open.status) events.push_back({now, "status", program, slug, status, progress, {}});
    else if (progress != open.progress) events.push_back({now, "progress", program, slug, status, progress, {}});
    open.status = status;
    open.progress = progress;

    if (page.kind == PageKind::Main && !updaterResult_) {
        if (isAnyOf(status, updater::texts::SuccessMessage)) updaterResult_ = Outcome::Success;
        else if (isAnyOf(status, updater::texts::FailureMessage)) updaterResult_ = Outcome::Failure;
        else if (isAnyOf(status, updater::texts::NoSoftwareMessage)) updaterResult_ = Outcome::NothingToDo;
        if (updaterResult_) detail_ = firstLine(status);
    }
    if (page.kind == PageKind::Installer && !installerResult_) {
        if (status == installer::kSuccessText) installerResult_ = Outcome::Success;
        else if (isInstallerFailure(status)) installerResult_ = Outcome::Failure;
        if (installerResult_ == Outcome::Failure || (installerResult_ && detail_.empty())) detail_ = firstLine(status);
    }
}

void UpdateWatcher::settle(const DesktopLook& look, uint64_t now, std::vector<WatchEvent>& events) {
    if (sawUpdater_ && !updaterResult_ && !look.updaterRunning) {
        updaterResult_ = Outcome::Failure;
        detail_ = "UpdateXan ended without showing a result";
    }
    if (sawInstaller_ && !installerResult_ && !look.installerRunning) {
        installerResult_ = Outcome::Failure;
        detail_ = "ZEK_Update ended without showing a result";
    }
    if (!sawAnything()) return;
    const bool updaterOver = !sawUpdater_ || updaterResult_.has_value();
    const bool installerOver = !look.installerRunning || installerResult_.has_value();
    if (!updaterOver || !installerOver) return;
    done_ = true;
    WatchEvent result{now, "result", "", "", detail_, {}, {}};
    result.result = outcomeName(outcome());
    events.push_back(result);
}

}  // namespace hu::demo
