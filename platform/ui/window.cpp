#include "platform/ui/window.h"

#include <algorithm>
#include <cstring>

#include "platform/gfx/draw_text.h"
#include "platform/ui/message.h"
#include "platform/ui/paint.h"
#include "platform/ui/window_system.h"

namespace ce {

namespace {

// Sizes of surfaces are kept sane whatever a program asks for.
int clampExtent(int v) { return std::clamp(v, 0, 8192); }

}  // namespace

Window::Window() = default;

Window::~Window() { destroy(); }

int Window::id() const {
    auto r = WindowSystem::instance().find(hwnd_);
    return r ? r->id : 0;
}

Error Window::create(const WindowSpec& params) {
    if (hwnd_) return ERROR_ALREADY_EXISTS;
    auto& system = WindowSystem::instance();
    auto queue = MessageQueue::current();
    RecordPtr parent;
    if (params.parent) {
        parent = system.find(params.parent);
        if (!parent || parent->queue != queue) return ERROR_INVALID_HANDLE;
    }

    auto r = std::make_shared<WindowRecord>();
    r->hwnd = system.allocateHandle();
    r->object = this;
    r->queue = queue;
    r->parent = params.parent;
    r->className = params.className;
    r->title = params.title;
    r->style = params.style | (params.parent ? static_cast<uint32_t>(WS_CHILD) : 0u);
    r->exStyle = params.exStyle;
    r->rect = Rect{params.rect.left, params.rect.top, params.rect.left + clampExtent(params.rect.width()),
                   params.rect.top + clampExtent(params.rect.height())};
    r->id = params.id;
    r->surface = Surface(r->rect.width(), r->rect.height(), pixelFromColor(background_));
    r->invalid = Rect{0, 0, r->rect.width(), r->rect.height()};
    r->erase = true;
    if (!params.parent) r->composed = SharedPixels::create(r->rect.width(), r->rect.height());

    system.add(r);
    if (parent) {
        std::lock_guard lock(system.mutex());
        parent->children.push_back(r->hwnd);  // created controls stack below their elder siblings
    }
    hwnd_ = r->hwnd;
    if (!params.parent) {
        system.ensureListening();
        system.publish(hwnd_);
    }
    if (callWindowProc(hwnd_, WM_CREATE, 0, 0) == -1) {
        destroy();
        return ERROR_INVALID_PARAMETER;
    }
    queue->setPaintPending(hwnd_, true);
    composeWindow(hwnd_, nullptr);
    return ERROR_SUCCESS;
}

void Window::destroy() {
    if (!hwnd_) return;
    auto& system = WindowSystem::instance();
    HWND self = hwnd_;
    auto r = system.find(self);
    if (!r) {
        hwnd_ = 0;
        return;
    }
    {
        std::lock_guard lock(system.mutex());
        if (r->destroying) return;
        r->destroying = true;
    }
    callWindowProc(self, WM_DESTROY, 0, 0);

    std::vector<HWND> children;
    {
        std::lock_guard lock(system.mutex());
        children = r->children;
    }
    for (HWND child : children) {
        auto c = system.find(child);
        if (c && c->object) c->object->destroy();
    }

    bool wasVisible = system.visibleChain(self);
    HWND parent = r->parent;
    Rect rect = r->rect;
    r->queue->removeMessagesFor(self);
    if (system.capture == self) releaseCapture();
    if (system.focus == self) system.focus = 0;
    {
        std::lock_guard lock(system.mutex());
        if (auto p = system.findLocked(parent)) std::erase(p->children, self);
        r->object = nullptr;
    }
    system.remove(self);
    r->queue->failSentFor(self);  // senders waiting for it are released, not left hanging
    if (!parent) system.unpublish(self);
    r->composed.reset();
    hwnd_ = 0;
    if (parent && wasVisible) composeWindow(parent, &rect);
}

void Window::on(UINT msg, Handler handler) { handlers_[msg] = std::move(handler); }

void Window::onCommand(int controlId, std::function<void()> handler) { commands_[controlId] = std::move(handler); }

LRESULT Window::windowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND && hiWord(wParam) == BN_CLICKED) {
        auto c = commands_.find(static_cast<int>(loWord(wParam)));
        if (c != commands_.end()) {
            c->second();
            return 0;
        }
    }
    auto h = handlers_.find(msg);
    if (h != handlers_.end()) return h->second(wParam, lParam);
    return defaultProc(msg, wParam, lParam);
}

LRESULT Window::defaultProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    auto& system = WindowSystem::instance();
    switch (msg) {
        case WM_PAINT: {
            PaintDc dc(*this);
            if (dc.ok()) paint(dc.dc());
            return 0;
        }
        case WM_ERASEBKGND: {
            // wParam carries the device context of the paint in progress.
            if (auto* dc = reinterpret_cast<Dc*>(wParam)) dc->fillRect(dc->getClipBox(), createSolidBrush(background_));
            return 1;
        }
        case WM_CLOSE:
            destroy();
            return 0;
        case WM_SETTEXT: {
            const char* text = reinterpret_cast<const char*>(lParam);
            bool topLevel = false;
            {
                std::lock_guard lock(system.mutex());
                auto r = system.findLocked(hwnd_);
                if (!r) return 0;
                r->title = text ? text : "";
                topLevel = r->parent == 0;
            }
            if (topLevel) system.publish(hwnd_);
            invalidateRect(hwnd_, nullptr, true);
            return 1;
        }
        case WM_GETTEXT: {
            auto* buffer = reinterpret_cast<char*>(lParam);
            if (!buffer || wParam == 0) return 0;
            std::string t = text();
            size_t n = std::min<size_t>(t.size(), wParam - 1);
            std::memcpy(buffer, t.data(), n);
            buffer[n] = 0;
            return static_cast<LRESULT>(n);
        }
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(text().size());
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(font().get());
        default:
            return 0;
    }
}

void Window::paint(Dc& dc) { dc.fillRect(dc.getClipBox(), createSolidBrush(background_)); }

Surface& Window::surface() {
    static Surface none;
    auto r = WindowSystem::instance().find(hwnd_);
    return r ? r->surface : none;
}

void Window::setFont(HFONT font, bool redraw) {
    auto& system = WindowSystem::instance();
    {
        std::lock_guard lock(system.mutex());
        auto r = system.findLocked(hwnd_);
        if (!r) return;
        r->font = std::move(font);
    }
    if (redraw) invalidateRect(hwnd_, nullptr, true);
}

HFONT Window::font() const {
    auto& system = WindowSystem::instance();
    {
        std::lock_guard lock(system.mutex());
        auto r = system.findLocked(hwnd_);
        if (r && r->font) return r->font;
    }
    return systemFont();
}

std::string Window::text() const {
    auto r = WindowSystem::instance().find(hwnd_);
    if (!r) return {};
    std::lock_guard lock(WindowSystem::instance().mutex());
    return r->title;
}

void Window::publishRange(int min, int max, int pos) {
    auto& system = WindowSystem::instance();
    std::lock_guard lock(system.mutex());
    auto r = system.findLocked(hwnd_);
    if (!r) return;
    r->hasRange = true;
    r->rangeMin = min;
    r->rangeMax = max;
    r->pos = pos;
}

}  // namespace ce
