// Calls that read or change a window by handle: text, visibility, enabled state, position,
// z-order, foreground, capture, focus, painting requests, lookups.

#include <algorithm>
#include <cstring>

#include "platform/core/paths.h"
#include "platform/core/profile.h"
#include "platform/ui/desktop.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "platform/ui/window_system.h"

namespace ce {

namespace {

WindowSystem& sys() { return WindowSystem::instance(); }

const IndexEntry* remoteTopLevel(const IndexData& d, HWND hwnd) { return d.find(hwnd); }

void resizeSurface(const RecordPtr& r, int width, int height, COLORREF background) {
    r->surface = Surface(width, height, pixelFromColor(background));
    if (r->composed) r->composed->resize(width, height);
    std::lock_guard lock(sys().mutex());
    r->invalid = Rect{0, 0, width, height};
    r->erase = true;
}

// A window that becomes visible is painted anew, with its children, as on the device: what a
// program drew onto it outside its paint handler (the panel's icons) is gone after a hide and
// show, and comes back only when the program draws it again.
void invalidateTree(HWND hwnd) {
    std::vector<HWND> order{hwnd};
    for (size_t i = 0; i < order.size(); ++i) {
        auto r = sys().find(order[i]);
        if (!r) continue;
        invalidateRect(order[i], nullptr, true);
        std::lock_guard lock(sys().mutex());
        order.insert(order.end(), r->children.begin(), r->children.end());
    }
}

}  // namespace

bool isWindow(HWND hwnd) {
    if (hwnd == 0) return false;
    if (sys().find(hwnd)) return true;
    return remoteTopLevel(sys().index().read(), hwnd) != nullptr;
}

Window* windowFromHandle(HWND hwnd) {
    auto r = sys().find(hwnd);
    return r ? r->object : nullptr;
}

bool destroyWindow(HWND hwnd) {
    return onWindowThread(hwnd, [hwnd]() -> LRESULT {
               Window* w = windowFromHandle(hwnd);
               if (!w) return 0;
               w->destroy();
               return 1;
           }) != 0;
}

HWND findWindow(std::string_view className, std::string_view title) {
    for (const auto& e : sys().index().read().windows) {
        if (e.title != title) continue;
        if (!className.empty() && e.className != className) continue;
        return e.hwnd;
    }
    return 0;
}

HWND findProgramWindow(std::string_view programPath) {
    for (const auto& e : sys().index().read().windows)
        if (pathEquals(e.program, programPath)) return e.hwnd;
    return 0;
}

bool setWindowText(HWND hwnd, std::string_view text) {
    if (!sys().find(hwnd)) return false;  // the text would have to cross processes as a pointer
    std::string copy(text);
    return sendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str())) != 0;
}

std::string getWindowText(HWND hwnd) {
    if (auto r = sys().find(hwnd)) {
        std::lock_guard lock(sys().mutex());
        return r->title;
    }
    auto controls = describeControls(hwnd);
    if (controls.ok() && !controls->empty()) return controls->front().text;
    return {};
}

HWND getDlgItem(HWND dialog, int id) {
    if (auto r = sys().find(dialog)) {
        std::lock_guard lock(sys().mutex());
        for (HWND c : r->children) {
            auto child = sys().findLocked(c);
            if (child && child->id == id) return c;
        }
        return 0;
    }
    auto controls = describeControls(dialog);
    if (!controls.ok()) return 0;
    for (const auto& c : *controls)
        if (c.parent == dialog && c.id == id) return c.hwnd;
    return 0;
}

int getDlgCtrlID(HWND hwnd) {
    auto r = sys().find(hwnd);
    if (!r) return 0;
    std::lock_guard lock(sys().mutex());
    return r->id;
}

HWND getParent(HWND hwnd) {
    auto r = sys().find(hwnd);
    if (!r) return 0;
    std::lock_guard lock(sys().mutex());
    return r->parent;
}

bool showWindow(HWND hwnd, int cmd) {
    return onWindowThread(hwnd, [hwnd, cmd]() -> LRESULT {
               auto r = sys().find(hwnd);
               bool show = cmd != SW_HIDE;
               bool was;
               {
                   std::lock_guard lock(sys().mutex());
                   was = r->visibleStyle();
                   if (was == show) return was;
                   if (show) r->style |= WS_VISIBLE;
                   else r->style &= ~WS_VISIBLE;
               }
               callWindowProc(hwnd, WM_SHOWWINDOW, show, 0);
               if (show) invalidateTree(hwnd);
               if (r->parent) composeWindow(r->parent, &r->rect);
               else sys().publish(hwnd);
               return was;
           }) != 0;
}

bool isWindowVisible(HWND hwnd) {
    if (sys().find(hwnd)) return sys().visibleChain(hwnd);
    const auto d = sys().index().read();
    const IndexEntry* e = d.find(hwnd);
    return e && e->visible;
}

bool enableWindow(HWND hwnd, bool enable) {
    return onWindowThread(hwnd, [hwnd, enable]() -> LRESULT {
               auto r = sys().find(hwnd);
               bool wasDisabled;
               {
                   std::lock_guard lock(sys().mutex());
                   wasDisabled = !r->enabledStyle();
                   if (wasDisabled != enable) return wasDisabled;
                   if (enable) r->style &= ~WS_DISABLED;
                   else r->style |= WS_DISABLED;
               }
               if (!enable && sys().capture == hwnd) releaseCapture();
               callWindowProc(hwnd, WM_ENABLE, enable, 0);
               invalidateRect(hwnd, nullptr, true);
               return wasDisabled;
           }) != 0;
}

bool isWindowEnabled(HWND hwnd) {
    auto r = sys().find(hwnd);
    if (!r) return isWindow(hwnd);
    std::lock_guard lock(sys().mutex());
    return r->enabledStyle();
}

bool setWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    if (!sys().find(hwnd)) {
        // Another process's window: only its place in the z-order can be changed from here.
        if (flags & SWP_NOZORDER) return false;
        bool found = false;
        sys().index().update([&](IndexData& d) {
            if (!d.find(hwnd)) return;
            found = true;
            d.place(hwnd, insertAfter);
        });
        return found;
    }
    return onWindowThread(hwnd, [=]() -> LRESULT {
               auto r = sys().find(hwnd);
               Rect before;
               Rect after;
               bool visibleBefore;
               bool sized = false;
               bool moved = false;
               {
                   std::lock_guard lock(sys().mutex());
                   before = r->rect;
                   visibleBefore = r->visibleStyle();
                   int w = (flags & SWP_NOSIZE) ? before.width() : std::clamp(cx, 0, 8192);
                   int h = (flags & SWP_NOSIZE) ? before.height() : std::clamp(cy, 0, 8192);
                   int left = (flags & SWP_NOMOVE) ? before.left : x;
                   int top = (flags & SWP_NOMOVE) ? before.top : y;
                   r->rect = Rect{left, top, left + w, top + h};
                   after = r->rect;
                   sized = w != before.width() || h != before.height();
                   moved = left != before.left || top != before.top;
                   if (flags & SWP_SHOWWINDOW) r->style |= WS_VISIBLE;
                   if (flags & SWP_HIDEWINDOW) r->style &= ~WS_VISIBLE;
                   if (!(flags & SWP_NOZORDER)) {
                       if (insertAfter == HWND_TOPMOST) r->exStyle |= WS_EX_TOPMOST;
                       if (insertAfter == HWND_NOTOPMOST || insertAfter == HWND_BOTTOM) r->exStyle &= ~WS_EX_TOPMOST;
                       if (r->parent) {
                           if (auto p = sys().findLocked(r->parent)) {
                               auto& sib = p->children;
                               std::erase(sib, hwnd);
                               auto at = sib.begin();
                               if (insertAfter == HWND_BOTTOM) at = sib.end();
                               else if (insertAfter != HWND_TOP && insertAfter != HWND_TOPMOST &&
                                        insertAfter != HWND_NOTOPMOST) {
                                   auto it = std::find(sib.begin(), sib.end(), insertAfter);
                                   at = it == sib.end() ? sib.begin() : it + 1;
                               }
                               sib.insert(at, hwnd);
                           }
                       }
                   }
               }
               bool visibleAfter = r->visibleStyle();
               if (sized) resizeSurface(r, after.width(), after.height(), r->object ? r->object->background() : 0);
               if (!r->parent) {
                   sys().publish(hwnd);
                   if (!(flags & SWP_NOZORDER)) sys().index().update([&](IndexData& d) { d.place(hwnd, insertAfter); });
               }
               if (visibleBefore != visibleAfter) callWindowProc(hwnd, WM_SHOWWINDOW, visibleAfter, 0);
               if (!visibleBefore && visibleAfter) invalidateTree(hwnd);
               if (moved) callWindowProc(hwnd, WM_MOVE, 0, makeLParam(after.left, after.top));
               if (sized) {
                   callWindowProc(hwnd, WM_SIZE, 0, makeLParam(after.width(), after.height()));
                   r->queue->setPaintPending(hwnd, true);
               }
               if (r->parent) {
                   Rect area = before.unite(after);
                   composeWindow(r->parent, &area);
               } else {
                   composeWindow(hwnd, nullptr);
               }
               return 1;
           }) != 0;
}

bool moveWindow(HWND hwnd, int x, int y, int cx, int cy, bool repaint) {
    bool ok = setWindowPos(hwnd, 0, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
    if (ok && repaint) invalidateRect(hwnd, nullptr, true);
    return ok;
}

bool bringWindowToTop(HWND hwnd) { return setWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }

bool getWindowRect(HWND hwnd, Rect* rect) {
    if (!rect) return false;
    auto r = sys().find(hwnd);
    if (!r) {
        const auto d = sys().index().read();
        const IndexEntry* e = d.find(hwnd);
        if (!e) return false;
        *rect = e->rect;
        return true;
    }
    std::lock_guard lock(sys().mutex());
    Rect out = r->rect;
    for (auto p = sys().findLocked(r->parent); p; p = sys().findLocked(p->parent))
        out = out.offset(p->rect.left, p->rect.top);
    *rect = out;
    return true;
}

bool getClientRect(HWND hwnd, Rect* rect) {
    Rect w;
    if (!rect || !getWindowRect(hwnd, &w)) return false;
    *rect = Rect{0, 0, w.width(), w.height()};
    return true;
}

Point clientToScreen(HWND hwnd, Point p) {
    Rect w;
    if (!getWindowRect(hwnd, &w)) return p;
    return Point{p.x + w.left, p.y + w.top};
}

bool setForegroundWindow(HWND hwnd) {
    HWND top = sys().find(hwnd) ? sys().topLevelOf(hwnd) : hwnd;
    bool found = false;
    sys().index().update([&](IndexData& d) {
        if (!d.find(top)) return;
        found = true;
        d.foreground = top;
        d.place(top, HWND_TOP);
    });
    return found;
}

HWND getForegroundWindow() { return sys().index().read().foreground; }

bool invalidateRect(HWND hwnd, const Rect* rect, bool erase) {
    auto r = sys().find(hwnd);
    if (!r) return false;
    {
        std::lock_guard lock(sys().mutex());
        Rect client{0, 0, r->rect.width(), r->rect.height()};
        Rect area = rect ? rect->intersect(client) : client;
        if (area.empty()) return true;
        r->invalid = r->invalid.unite(area);
        r->erase = r->erase || erase;
    }
    r->queue->setPaintPending(hwnd, true);
    return true;
}

bool updateWindow(HWND hwnd) {
    return onWindowThread(hwnd, [hwnd]() -> LRESULT {
               // The window first, then its children, each only if it waits for paint.
               std::vector<HWND> order{hwnd};
               for (size_t i = 0; i < order.size(); ++i) {
                   auto r = sys().find(order[i]);
                   if (!r) continue;
                   bool pending;
                   std::vector<HWND> children;
                   {
                       std::lock_guard lock(sys().mutex());
                       pending = !r->invalid.empty();
                       children = r->children;
                   }
                   if (pending) callWindowProc(order[i], WM_PAINT, 0, 0);
                   order.insert(order.end(), children.begin(), children.end());
               }
               return 1;
           }) != 0;
}

HWND setCapture(HWND hwnd) {
    if (!sys().find(hwnd)) return 0;
    HWND previous = sys().capture;
    sys().capture = hwnd;
    if (sys().sharedDesktop()) sys().index().update([&](IndexData& d) { d.capture = hwnd; });
    return previous;
}

bool releaseCapture() {
    HWND previous = sys().capture;
    sys().capture = 0;
    if (previous && sys().sharedDesktop())
        sys().index().update([&](IndexData& d) {
            if (d.capture == previous) d.capture = 0;
        });
    if (previous && sys().find(previous)) callWindowProc(previous, WM_CAPTURECHANGED, 0, 0);
    return true;
}

HWND getCapture() { return sys().capture; }

HWND setFocus(HWND hwnd) {
    HWND previous = sys().focus;
    if (hwnd && !sys().find(hwnd)) return 0;
    if (previous == hwnd) return previous;
    sys().focus = hwnd;
    if (previous && sys().find(previous)) callWindowProc(previous, WM_KILLFOCUS, hwnd, 0);
    if (hwnd) callWindowProc(hwnd, WM_SETFOCUS, previous, 0);
    return previous;
}

HWND getFocus() { return sys().focus; }

int getSystemMetrics(int index) {
    auto profile = Profile::current();
    switch (index) {
        case SM_CXSCREEN: return profile.ok() ? (*profile)->screenWidth() : 800;
        case SM_CYSCREEN: return profile.ok() ? (*profile)->screenHeight() : 480;
        default: return 0;
    }
}

}  // namespace ce
