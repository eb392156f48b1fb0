#include "platform/ui/window_system.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/core/paths.h"
#include "platform/core/profile.h"
#include "platform/ui/shared_pixels.h"

namespace ce {

namespace fs = std::filesystem;

WindowSystem& WindowSystem::instance() {
    // Never destroyed: threads answering other processes may still run while the process exits.
    static WindowSystem* system = new WindowSystem;
    return *system;
}

RecordPtr WindowSystem::find(HWND hwnd) {
    std::lock_guard lock(mutex_);
    return findLocked(hwnd);
}

RecordPtr WindowSystem::findLocked(HWND hwnd) const {
    auto it = records_.find(hwnd);
    return it == records_.end() ? nullptr : it->second;
}

void WindowSystem::add(const RecordPtr& record) {
    std::lock_guard lock(mutex_);
    records_[record->hwnd] = record;
}

void WindowSystem::remove(HWND hwnd) {
    std::lock_guard lock(mutex_);
    records_.erase(hwnd);
}

std::vector<RecordPtr> WindowSystem::recordsOf(const std::shared_ptr<MessageQueue>& queue) {
    std::lock_guard lock(mutex_);
    std::vector<RecordPtr> out;
    for (const auto& [h, r] : records_)
        if (r->queue == queue) out.push_back(r);
    return out;
}

bool WindowSystem::isDescendant(HWND hwnd, HWND ancestor) {
    std::lock_guard lock(mutex_);
    for (auto r = findLocked(hwnd); r && r->parent; r = findLocked(r->parent))
        if (r->parent == ancestor) return true;
    return false;
}

HWND WindowSystem::topLevelOf(HWND hwnd) {
    std::lock_guard lock(mutex_);
    auto r = findLocked(hwnd);
    while (r && r->parent) {
        auto p = findLocked(r->parent);
        if (!p) break;
        r = p;
    }
    return r ? r->hwnd : 0;
}

Point WindowSystem::offsetInTopLevel(HWND hwnd) {
    std::lock_guard lock(mutex_);
    Point p;
    for (auto r = findLocked(hwnd); r && r->parent; r = findLocked(r->parent)) {
        p.x += r->rect.left;
        p.y += r->rect.top;
    }
    return p;
}

bool WindowSystem::visibleChain(HWND hwnd) {
    std::lock_guard lock(mutex_);
    auto r = findLocked(hwnd);
    if (!r) return false;
    for (; r; r = r->parent ? findLocked(r->parent) : nullptr)
        if (!r->visibleStyle()) return false;
    return true;
}

HWND WindowSystem::allocateHandle() {
    std::lock_guard lock(handleMutex_);
    if (blockUsed_ >= HANDLE_BLOCK_SIZE) {
        uint32_t base = 0;
        index().update([&](IndexData& d) {
            base = d.nextBlock;
            d.nextBlock += HANDLE_BLOCK_SIZE;
            d.blocks.push_back({base, currentPid(), currentStartTime()});
        });
        blockBase_ = base;
        blockUsed_ = 0;
    }
    return blockBase_ + blockUsed_++;
}

std::string desktopHash(const std::string& folder) {
    uint64_t h = 1469598103934665603ULL;  // FNV-1a
    for (unsigned char c : folder) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(h));
    return out;
}

void WindowSystem::bindDesktop() {
    auto profile = Profile::current();
    if (!profile.ok()) {
        index_ = makePrivateIndex();
        return;
    }
    std::error_code ec;
    fs::path root = fs::weakly_canonical((*profile)->root(), ec);
    if (ec) root = (*profile)->root();
    std::string hash = desktopHash(root.string());
    fs::path folder = (*profile)->runDir() / "desktop";
    folder_ = folder.string();
    index_ = makeSharedIndex(folder);
    link_ = std::make_unique<DesktopLink>("hu-" + hash);
}

WindowIndex& WindowSystem::index() {
    std::call_once(desktopOnce_, [this] { bindDesktop(); });
    return *index_;
}

DesktopLink* WindowSystem::link() {
    index();
    return link_.get();
}

bool WindowSystem::sharedDesktop() { return link() != nullptr; }

std::string WindowSystem::desktopFolder() {
    index();
    return folder_;
}

void WindowSystem::ensureListening() {
    DesktopLink* l = link();
    if (!l) return;
    std::lock_guard lock(listenMutex_);
    if (!l->listening()) l->listen(answerRequest);
}

void WindowSystem::publish(HWND hwnd) {
    IndexEntry entry;
    {
        std::lock_guard lock(mutex_);
        auto r = findLocked(hwnd);
        if (!r || r->parent) return;
        entry.hwnd = hwnd;
        entry.pid = currentPid();
        entry.start = currentStartTime();
        entry.title = r->title;
        entry.className = r->className;
        entry.rect = r->rect;
        entry.visible = r->visibleStyle();
        entry.topmost = (r->exStyle & WS_EX_TOPMOST) != 0;
    }
    static const std::string program = modulePath();
    entry.program = program;
    index().update([&](IndexData& d) {
        if (IndexEntry* e = d.find(hwnd)) {
            bool bandChanged = e->topmost != entry.topmost;
            *e = entry;
            if (bandChanged) d.place(hwnd, entry.topmost ? HWND_TOPMOST : HWND_NOTOPMOST);
        } else {
            d.insertFront(entry);
        }
    });
}

void WindowSystem::unpublish(HWND hwnd) {
    index().update([&](IndexData& d) { d.remove(hwnd); });
}

}  // namespace ce
