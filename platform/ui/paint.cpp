// Device contexts over windows, and the composition of a window tree into its top-level
// window's image (what the screen and captures show).

#include "platform/ui/paint.h"

#include <algorithm>
#include <cstring>

#include "platform/ui/desktop_changes.h"
#include "platform/ui/message.h"
#include "platform/ui/window_system.h"

namespace ce {

namespace {

WindowSystem& sys() { return WindowSystem::instance(); }

// Copies src's pixels at `from` (size of `area`) into dst at area's position; both clipped.
void copyPixels(const Surface& src, Point from, Surface& dst, const Rect& area) {
    Rect a = area.intersect(dst.bounds());
    if (a.empty()) return;
    Rect s = Rect{from.x + (a.left - area.left), from.y + (a.top - area.top), 0, 0};
    s.right = s.left + a.width();
    s.bottom = s.top + a.height();
    Rect sc = s.intersect(src.bounds());
    if (sc.empty()) return;
    int dx = a.left + (sc.left - s.left);
    int dy = a.top + (sc.top - s.top);
    for (int y = 0; y < sc.height(); ++y)
        std::memcpy(dst.row(dy + y) + dx, src.row(sc.top + y) + sc.left, static_cast<size_t>(sc.width()) * 4);
}

// Children of a window composed bottom first into dst; origin = the parent's client origin in
// dst, area = the part of dst being composed.
void composeChildren(const RecordPtr& parent, Point origin, const Rect& area, Surface& dst) {
    std::vector<RecordPtr> children;
    {
        std::lock_guard lock(sys().mutex());
        for (auto it = parent->children.rbegin(); it != parent->children.rend(); ++it)
            if (auto c = sys().findLocked(*it); c && c->visibleStyle()) children.push_back(c);
    }
    for (const auto& c : children) {
        Rect placed = c->rect.offset(origin.x, origin.y);
        Rect clip = placed.intersect(area);
        if (clip.empty()) continue;
        copyPixels(c->surface, Point{clip.left - placed.left, clip.top - placed.top}, dst, clip);
        composeChildren(c, Point{placed.left, placed.top}, clip, dst);
    }
}

}  // namespace

void composeTopLevel(HWND topLevel, const Rect& rect) {
    auto r = sys().find(topLevel);
    if (!r || !r->composed || r->queue != MessageQueue::current()) return;
    Surface& dst = r->composed->surface();
    Rect area = rect.intersect(dst.bounds());
    if (area.empty()) return;
    copyPixels(r->surface, Point{area.left, area.top}, dst, area);
    composeChildren(r, Point{0, 0}, area, dst);
    announceImageChange();
}

void composeWindow(HWND hwnd, const Rect* rect) {
    auto r = sys().find(hwnd);
    if (!r) return;
    HWND top = sys().topLevelOf(hwnd);
    Point offset = sys().offsetInTopLevel(hwnd);
    Rect client{0, 0, r->rect.width(), r->rect.height()};
    Rect area = (rect ? *rect : client).offset(offset.x, offset.y);
    if (r->queue != MessageQueue::current()) {
        // Pixels are touched only by their own thread: hand the work over.
        if (auto t = sys().find(top)) {
            {
                std::lock_guard lock(sys().mutex());
                t->composePending = t->composePending.unite(area);
            }
            t->queue->composeRequested = true;
            t->queue->wake();
        }
        return;
    }
    composeTopLevel(top, area);
}

void flushComposition(const std::shared_ptr<MessageQueue>& queue) {
    if (!queue->composeRequested.exchange(false)) return;
    for (const auto& r : sys().recordsOf(queue)) {
        Rect pending;
        {
            std::lock_guard lock(sys().mutex());
            pending = r->composePending;
            r->composePending = Rect{};
        }
        if (!pending.empty()) composeTopLevel(r->hwnd, pending);
    }
}

PaintDc::PaintDc(Window& window) : PaintDc(window.hwnd()) {}

PaintDc::PaintDc(HWND hwnd) : hwnd_(hwnd) {
    auto r = sys().find(hwnd);
    if (!r || r->queue != MessageQueue::current()) return;
    bool erase;
    {
        std::lock_guard lock(sys().mutex());
        update_ = r->invalid.empty() ? Rect{0, 0, r->rect.width(), r->rect.height()} : r->invalid;
        erase = r->erase;
        r->invalid = Rect{};
        r->erase = false;
    }
    r->queue->setPaintPending(hwnd, false);
    dc_ = std::make_unique<Dc>(r->surface, Point{0, 0}, update_);
    dc_->setReleaseHook([hwnd](const Rect& dirty) { composeWindow(hwnd, &dirty); });
    if (erase) callWindowProc(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc_.get()), 0);
}

PaintDc::~PaintDc() { dc_.reset(); }

ClientDc::ClientDc(HWND hwnd) : hwnd_(hwnd) {
    auto r = sys().find(hwnd);
    if (!r || r->queue != MessageQueue::current()) return;
    dc_ = std::make_unique<Dc>(r->surface);
    dc_->setReleaseHook([hwnd](const Rect& dirty) { composeWindow(hwnd, &dirty); });
}

ClientDc::~ClientDc() { dc_.reset(); }

}  // namespace ce
