#pragma once
// PageFollower: watches the head unit's screen while the update runs, as a person in front of
// it would, and keeps the DesktopRecord.
//
// A thread of its own looks at the desktop every few tens of milliseconds: which pages of the
// updater and the panel installer are showing, what their controls say, where their progress
// bars stand. It saves a PNG of each page as it appears, of each phase a step page enters, and
// of the main page's and the installer's results; it shows the current step with a progress
// bar through the TerminalView,
// follows the updater's debug output and notices each image the Bluetooth module stores.
// The demo's own thread waits on the record with waitUntil().

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tools/hu/demo/desktop_record.h"
#include "tools/hu/demo/page_kinds.h"
#include "tools/hu/demo/json_events.h"
#include "tools/hu/demo/terminal_view.h"
#include "tools/hu/demo/update_watcher.h"

namespace hu::demo {

class PageFollower {
public:
    // The process's profile must already be the head unit's (the desktop is bound to it).
    PageFollower(std::filesystem::path root, std::filesystem::path screenshots, TerminalView& terminal);
    ~PageFollower();
    PageFollower(const PageFollower&) = delete;
    PageFollower& operator=(const PageFollower&) = delete;

    // Also writes what the screens show as JSON events (before start()); the update's own
    // result comes as "update-result".
    void setEvents(JsonEvents* events) { events_ = events; }

    void start();
    void stop();

    // Waits until `condition` holds for the record; false when the time ran out. Throws
    // Interrupted when Ctrl-C arrives meanwhile.
    bool waitUntil(const std::function<bool(const DesktopRecord&)>& condition, std::chrono::milliseconds timeout);

    DesktopRecord record() const;

    static constexpr std::chrono::milliseconds kPollPeriod{40};

private:
    // What one look found worth telling in the terminal and worth a picture.
    struct News {
        std::vector<std::string> lines;
        std::vector<std::pair<size_t, std::string>> shots;  // visit index, what the picture shows
    };

    void run();
    void poll();
    void followPages();
    void merge(const PageSighting& sighting, uint64_t now, News& news);
    void noteNewStatus(const PageVisit& visit, size_t index, News& news);
    void followLog();
    void followBluetoothImage();
    void capture(size_t visitIndex, const std::string& what);
    void showProgress();

    std::filesystem::path root_;
    std::filesystem::path screenshots_;
    TerminalView& terminal_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    DesktopRecord record_;
    int shotNumber_ = 0;
    std::map<ce::HWND, int> phaseShots_;  // pictures taken of each step page after the first
    std::set<ce::HWND> mainShotPending_;  // main pages seen before their message was set
    uint64_t logOffset_ = 0;
    std::string logPartial_;
    std::filesystem::file_time_type btImageTime_{};

    JsonEvents* events_ = nullptr;
    UpdateWatcher watcher_;

    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace hu::demo
