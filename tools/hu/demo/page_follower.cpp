#include "tools/hu/demo/page_follower.h"

#include <fstream>
#include <optional>
#include <set>
#include <system_error>

#include <fmt/format.h>

#include "platform/core/paths.h"
#include "platform/core/text.h"
#include "platform/gfx/png.h"
#include "platform/ui/desktop.h"
#include "sim/board/fault_plan.h"
#include "tools/hu/demo/interruption.h"
#include "tools/hu/demo/page_kinds.h"

namespace hu::demo {

namespace fs = std::filesystem;

namespace {

constexpr int kInstallerExit = 1002;

}  // namespace

PageFollower::PageFollower(fs::path root, fs::path screenshots, TerminalView& terminal)
    : root_(std::move(root)), screenshots_(std::move(screenshots)), terminal_(terminal) {}

PageFollower::~PageFollower() { stop(); }

void PageFollower::start() {
    if (thread_.joinable()) return;
    std::error_code ec;
    fs::create_directories(screenshots_, ec);
    stop_ = false;
    thread_ = std::thread([this] { run(); });
}

void PageFollower::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    changed_.notify_all();
}

DesktopRecord PageFollower::record() const {
    std::lock_guard lock(mutex_);
    return record_;
}

bool PageFollower::waitUntil(const std::function<bool(const DesktopRecord&)>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (condition(record_)) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        // Short waits: an interruption is seen within a few milliseconds.
        changed_.wait_for(lock, std::chrono::milliseconds(20));
        lock.unlock();
        throwIfInterrupted();
        lock.lock();
    }
}

void PageFollower::run() {
    while (!stop_) {
        const auto next = std::chrono::steady_clock::now() + kPollPeriod;
        poll();
        changed_.notify_all();
        std::this_thread::sleep_until(next);
    }
    poll();  // the last state, for the checks
    changed_.notify_all();
}

void PageFollower::poll() {
    followPages();
    followLog();
    followBluetoothImage();
}

void PageFollower::followPages() {
    // Ask the desktop first, without the lock: the answers cross process boundaries.
    const DesktopLook look = lookAtDesktop();
    const std::vector<PageSighting>& sightings = look.pages;
    const uint64_t now = sim::monotonicMs();
    if (events_) {
        for (WatchEvent& e : watcher_.observe(look, now)) {
            if (e.kind == "result") e.kind = "update-result";
            events_->write(e.toJson(events_->startMs()));
        }
    }
    News news;
    {
        std::lock_guard lock(mutex_);
        std::set<ce::HWND> present;
        for (const auto& sighting : sightings) {
            present.insert(sighting.hwnd);
            merge(sighting, now, news);
        }
        for (auto& visit : record_.visits) {
            if (visit.closedAt || present.count(visit.hwnd)) continue;
            visit.closedAt = now;
            const std::string last = oneLine(visit.text(layoutOf(visit.kind).status));
            news.lines.push_back(fmt::format("{} closed after {:.1f} s{}", pageName(visit.kind),
                                             static_cast<double>(now - visit.shownAt) / 1000.0, last.empty() ? "" : ": " + last));
        }
    }
    if (!news.lines.empty()) terminal_.endStatus();
    for (const auto& line : news.lines) terminal_.line(line);
    for (const auto& [index, what] : news.shots) capture(index, what);
    showProgress();
}

void PageFollower::merge(const PageSighting& sighting, uint64_t now, News& news) {
    size_t index = record_.visits.size();
    for (size_t i = 0; i < record_.visits.size(); ++i)
        if (record_.visits[i].hwnd == sighting.hwnd && !record_.visits[i].closedAt) index = i;
    const bool fresh = index == record_.visits.size();
    if (fresh) {
        PageVisit visit;
        visit.kind = sighting.kind;
        visit.hwnd = sighting.hwnd;
        visit.shownAt = now;
        record_.visits.push_back(std::move(visit));
    }
    PageVisit& visit = record_.visits[index];
    const bool exitWasShown = visit.controls.count(kInstallerExit) && visit.controls[kInstallerExit].visible;
    const int status = layoutOf(visit.kind).status;
    for (size_t i = 1; i < sighting.controls.size(); ++i) {
        const ce::ControlState& c = sighting.controls[i];
        visit.controls[c.id] = c;
        auto& changes = visit.texts[c.id];
        if (!changes.empty() && changes.back().text == c.text) continue;
        changes.push_back(TextChange{now, c.text});
        if (!fresh && c.id == status) noteNewStatus(visit, index, news);
    }
    if (fresh) {
        const std::string said = oneLine(visit.text(status));
        news.lines.push_back(fmt::format("{} appeared{}", pageName(visit.kind), said.empty() ? "" : ": " + said));
        // The main page is listed before its start-up has set the message: its first picture
        // waits for the message, which is what the page is about.
        if (visit.kind == PageKind::Main && said.empty()) mainShotPending_.insert(visit.hwnd);
        else news.shots.emplace_back(index, "");
    }
    if (visit.kind == PageKind::Installer && !exitWasShown && visit.controls.count(kInstallerExit) &&
        visit.controls[kInstallerExit].visible)
        news.shots.emplace_back(index, "result");
}

// A page's status line changed: the main page's message and the installer's status are told
// in the terminal (the message is the update's result, worth a picture too); a step page gets
// a picture whenever it enters a new phase.
void PageFollower::noteNewStatus(const PageVisit& visit, size_t index, News& news) {
    const auto& changes = visit.texts.at(layoutOf(visit.kind).status);
    const std::string& text = changes.back().text;
    if (visit.kind == PageKind::Main || visit.kind == PageKind::Installer)
        news.lines.push_back(fmt::format("{}: {}", pageName(visit.kind), oneLine(text)));
    if (visit.kind == PageKind::Main && !text.empty()) {
        news.shots.emplace_back(index, mainShotPending_.erase(visit.hwnd) ? "" : "result");
    }
    const std::string before = changes.size() > 1 ? changes[changes.size() - 2].text : std::string();
    if (isStepPage(visit.kind) && !text.empty() && TerminalView::gist(text) != TerminalView::gist(before))
        news.shots.emplace_back(index, std::to_string(++phaseShots_[visit.hwnd]));
}

void PageFollower::capture(size_t visitIndex, const std::string& what) {
    ce::HWND hwnd;
    PageKind kind;
    {
        std::lock_guard lock(mutex_);
        hwnd = record_.visits[visitIndex].hwnd;
        kind = record_.visits[visitIndex].kind;
    }
    auto image = ce::captureWindow(hwnd);
    if (!image.ok()) return;  // the page went meanwhile
    const fs::path file =
        screenshots_ / fmt::format("{:02}-{}{}.png", ++shotNumber_, slugOf(kind), what.empty() ? "" : "-" + what);
    if (ce::writePng(**image, file) != ce::ERROR_SUCCESS) return;
    std::lock_guard lock(mutex_);
    record_.visits[visitIndex].screenshots.push_back(file);
}

void PageFollower::showProgress() {
    std::string step, text;
    int position = 0, maximum = 0;
    {
        std::lock_guard lock(mutex_);
        const PageVisit* current = nullptr;
        for (const auto& visit : record_.visits)
            if (!visit.closedAt && isStepPage(visit.kind))
                current = &visit;
        if (!current) return;
        const PageLayout layout = layoutOf(current->kind);
        step = pageName(current->kind);
        text = current->text(layout.status);
        auto bar = current->controls.find(layout.progress);
        if (bar != current->controls.end() && bar->second.hasRange) {
            position = bar->second.pos - bar->second.rangeMin;
            maximum = bar->second.rangeMax - bar->second.rangeMin;
        }
    }
    terminal_.status(step, position, maximum, text);
}

void PageFollower::followLog() {
    std::ifstream in(root_ / "log" / "UpdateXan.log", std::ios::binary);
    if (!in) return;
    in.seekg(0, std::ios::end);
    const auto size = static_cast<uint64_t>(in.tellg());
    if (size <= logOffset_) return;
    in.seekg(static_cast<std::streamoff>(logOffset_));
    std::string chunk(size - logOffset_, '\0');
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    chunk.resize(static_cast<size_t>(in.gcount()));
    logOffset_ += chunk.size();
    logPartial_ += chunk;
    const uint64_t now = sim::monotonicMs();
    std::lock_guard lock(mutex_);
    size_t start = 0;
    for (size_t end; (end = logPartial_.find('\n', start)) != std::string::npos; start = end + 1)
        record_.updaterLog.push_back(LogLine{now, logPartial_.substr(start, end + 1 - start)});
    logPartial_.erase(0, start);
}

void PageFollower::followBluetoothImage() {
    std::error_code ec;
    const auto written = fs::last_write_time(root_ / "flash" / "bt_image.bin", ec);
    if (ec || written == btImageTime_) return;
    btImageTime_ = written;
    std::lock_guard lock(mutex_);
    record_.bluetoothImages.push_back(sim::monotonicMs());
}

}  // namespace hu::demo
