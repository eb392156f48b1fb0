#include "platform/ui/window_index.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <mutex>
#include <sstream>

#include <nlohmann/json.hpp>

#include "platform/core/host_io.h"

namespace ce {

namespace {

using Json = nlohmann::json;
namespace fs = std::filesystem;

size_t bandEnd(const std::vector<IndexEntry>& windows, bool topmost) {
    // Index just past the last window of the band (topmost windows come first).
    size_t i = 0;
    while (i < windows.size() && windows[i].topmost) ++i;
    return topmost ? i : windows.size();
}

size_t bandStart(const std::vector<IndexEntry>& windows, bool topmost) {
    return topmost ? 0 : bandEnd(windows, true);
}

}  // namespace

// ---- Processes --------------------------------------------------------------------------------

uint64_t processStartTime(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return 0;
    size_t close = line.rfind(')');  // the command name may hold spaces and parentheses
    if (close == std::string::npos) return 0;
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    // Fields after the name start at field 3 (state); the start time is field 22.
    for (int i = 3; i <= 22 && rest >> field; ++i) {
        if (i == 22) return std::strtoull(field.c_str(), nullptr, 10);
    }
    return 0;
}

bool processAlive(int pid, uint64_t start) {
    if (pid <= 0) return false;
    if (kill(pid, 0) != 0 && errno != EPERM) return false;
    if (start == 0) return true;
    uint64_t now = processStartTime(pid);
    if (now == 0) return false;  // a zombie has no readable stat any more: dead for us
    return now == start;
}

int currentPid() { return static_cast<int>(getpid()); }

uint64_t currentStartTime() {
    static const uint64_t start = processStartTime(currentPid());
    return start;
}

// ---- IndexData --------------------------------------------------------------------------------

IndexEntry* IndexData::find(HWND hwnd) {
    for (auto& e : windows)
        if (e.hwnd == hwnd) return &e;
    return nullptr;
}

const IndexEntry* IndexData::find(HWND hwnd) const {
    for (const auto& e : windows)
        if (e.hwnd == hwnd) return &e;
    return nullptr;
}

int IndexData::ownerPid(HWND hwnd) const {
    uint32_t base = hwnd - hwnd % HANDLE_BLOCK_SIZE;
    for (const auto& b : blocks)
        if (b.base == base) return b.pid;
    return 0;
}

void IndexData::insertFront(IndexEntry entry) {
    remove(entry.hwnd);
    size_t at = bandStart(windows, entry.topmost);
    windows.insert(windows.begin() + static_cast<long>(at), std::move(entry));
}

void IndexData::remove(HWND hwnd) {
    std::erase_if(windows, [hwnd](const IndexEntry& e) { return e.hwnd == hwnd; });
    if (foreground == hwnd) foreground = 0;
    if (capture == hwnd) capture = 0;
    if (pen == hwnd) pen = 0;
}

void IndexData::place(HWND hwnd, HWND insertAfter) {
    IndexEntry* found = find(hwnd);
    if (!found) return;
    IndexEntry entry = *found;
    std::erase_if(windows, [hwnd](const IndexEntry& e) { return e.hwnd == hwnd; });
    size_t at;
    if (insertAfter == HWND_TOPMOST) {
        entry.topmost = true;
        at = 0;
    } else if (insertAfter == HWND_NOTOPMOST) {
        entry.topmost = false;
        at = bandStart(windows, false);
    } else if (insertAfter == HWND_TOP) {
        at = bandStart(windows, entry.topmost);
    } else if (insertAfter == HWND_BOTTOM) {
        entry.topmost = false;  // the bottom is below every topmost window
        at = windows.size();
    } else {
        auto it = std::find_if(windows.begin(), windows.end(),
                               [insertAfter](const IndexEntry& e) { return e.hwnd == insertAfter; });
        at = it == windows.end() ? bandStart(windows, entry.topmost) : static_cast<size_t>(it - windows.begin()) + 1;
        // A window keeps to its band: clamp the position into it.
        at = std::clamp(at, bandStart(windows, entry.topmost), bandEnd(windows, entry.topmost));
    }
    windows.insert(windows.begin() + static_cast<long>(at), std::move(entry));
}

void IndexData::dropDead() {
    std::map<int, bool> alive;
    auto isAlive = [&](int pid, uint64_t start) {
        auto it = alive.find(pid);
        if (it != alive.end()) return it->second;
        return alive[pid] = processAlive(pid, start);
    };
    std::erase_if(windows, [&](const IndexEntry& e) { return !isAlive(e.pid, e.start); });
    std::erase_if(blocks, [&](const HandleBlock& b) { return !isAlive(b.pid, b.start); });
    if (foreground && !find(foreground)) foreground = 0;
    if (capture && !ownerPid(capture)) capture = 0;
    if (pen && !ownerPid(pen)) pen = 0;
}

// ---- Private backend --------------------------------------------------------------------------

namespace {

class PrivateIndex : public WindowIndex {
public:
    IndexData read() override {
        std::lock_guard lock(mutex_);
        return data_;
    }
    void update(const std::function<void(IndexData&)>& change) override {
        std::lock_guard lock(mutex_);
        change(data_);
    }

private:
    std::mutex mutex_;
    IndexData data_;
};

// ---- Shared backend (a JSON file under an advisory lock) --------------------------------------

Json toJson(const IndexData& d) {
    Json j;
    j["nextBlock"] = d.nextBlock;
    j["foreground"] = d.foreground;
    j["capture"] = d.capture;
    j["pen"] = d.pen;
    j["nextAtom"] = d.nextAtom;
    j["atoms"] = d.atoms;
    Json blocks = Json::array();
    for (const auto& b : d.blocks) blocks.push_back({{"base", b.base}, {"pid", b.pid}, {"start", b.start}});
    j["blocks"] = blocks;
    Json windows = Json::array();
    for (const auto& e : d.windows) {
        windows.push_back({{"hwnd", e.hwnd},
                           {"pid", e.pid},
                           {"start", e.start},
                           {"program", e.program},
                           {"title", e.title},
                           {"class", e.className},
                           {"rect", {e.rect.left, e.rect.top, e.rect.right, e.rect.bottom}},
                           {"visible", e.visible},
                           {"topmost", e.topmost}});
    }
    j["windows"] = windows;
    return j;
}

// A damaged index (a half-written file cannot happen thanks to the rename, but a person may
// edit it) reads as an empty desktop rather than stopping every program.
IndexData fromJson(const Json& j) {
    IndexData d;
    try {
        d.nextBlock = j.value("nextBlock", FIRST_HANDLE_BLOCK);
        d.foreground = j.value("foreground", 0u);
        d.capture = j.value("capture", 0u);
        d.pen = j.value("pen", 0u);
        d.nextAtom = j.value("nextAtom", REGISTERED_MESSAGE_FIRST);
        if (j.contains("atoms")) d.atoms = j.at("atoms").get<std::map<std::string, UINT>>();
        for (const auto& b : j.value("blocks", Json::array()))
            d.blocks.push_back({b.at("base").get<uint32_t>(), b.at("pid").get<int>(), b.at("start").get<uint64_t>()});
        for (const auto& w : j.value("windows", Json::array())) {
            IndexEntry e;
            e.hwnd = w.at("hwnd").get<HWND>();
            e.pid = w.at("pid").get<int>();
            e.start = w.at("start").get<uint64_t>();
            e.program = w.value("program", "");
            e.title = w.value("title", "");
            e.className = w.value("class", "");
            const auto& r = w.at("rect");
            e.rect = {r.at(0).get<int>(), r.at(1).get<int>(), r.at(2).get<int>(), r.at(3).get<int>()};
            e.visible = w.value("visible", false);
            e.topmost = w.value("topmost", false);
            d.windows.push_back(std::move(e));
        }
        if (d.nextBlock < FIRST_HANDLE_BLOCK) d.nextBlock = FIRST_HANDLE_BLOCK;
        if (d.nextAtom < REGISTERED_MESSAGE_FIRST) d.nextAtom = REGISTERED_MESSAGE_FIRST;
    } catch (const Json::exception&) {
        return IndexData{};
    }
    return d;
}

// The index is small; a file past this size is not one (a person's mistake, or a planted file).
constexpr size_t kMaxIndexBytes = 16u << 20;

// The desktop's folder is private to the user that runs the head unit: its index names every
// window. A folder this user made earlier with wider permissions is narrowed; one of another
// user is left as it is (the desktop does not rely on the folder's mode: every connection is
// checked, see desktop_link.h).
void prepareFolder(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder.parent_path(), ec);
    host::makeFolder(folder, 0700);
    struct stat st {};
    if (::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077))
        ::chmod(folder.c_str(), 0700);
}

class SharedIndex : public WindowIndex {
public:
    explicit SharedIndex(const fs::path& folder) : folder_(folder) { prepareFolder(folder_); }

    IndexData read() override {
        IndexData d = load();
        d.dropDead();
        return d;
    }

    void update(const std::function<void(IndexData&)>& change) override {
        std::lock_guard threadLock(mutex_);
        auto lock = host::openLockFile(folder_ / "windows.lock", 0600);
        const int lockFd = lock ? *lock : -1;
        if (lockFd >= 0) {
            while (flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
        IndexData d = load();
        d.dropDead();
        change(d);
        // Readers see the old or the new file, whole.
        host::replaceFile(folder_ / "windows.json", toJson(d).dump(), 0600);
        if (lockFd >= 0) close(lockFd);  // closing releases the lock
    }

private:
    IndexData load() {
        auto text = host::readFile(folder_ / "windows.json", kMaxIndexBytes);
        if (!text) return IndexData{};
        Json j = Json::parse(*text, nullptr, false);
        if (j.is_discarded() || !j.is_object()) return IndexData{};
        return fromJson(j);
    }

    fs::path folder_;
    std::mutex mutex_;
};

}  // namespace

std::unique_ptr<WindowIndex> makePrivateIndex() { return std::make_unique<PrivateIndex>(); }
std::unique_ptr<WindowIndex> makeSharedIndex(const fs::path& folder) { return std::make_unique<SharedIndex>(folder); }

}  // namespace ce
