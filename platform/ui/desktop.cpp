// The desktop seen from outside a window: listing, describing, capturing, injecting input, and
// answering the requests other processes send to this one.

#include "platform/ui/shared_pixels.h"
#include "platform/ui/desktop.h"

#include <algorithm>
#include <cstring>

#include <nlohmann/json.hpp>

#include "platform/core/text.h"
#include "platform/ui/message.h"
#include "platform/ui/window_system.h"

namespace ce {

namespace {

using Json = nlohmann::json;

WindowSystem& sys() { return WindowSystem::instance(); }

// Screen points travel in the 64-bit lParam of an input request: x high, y low.
int64_t packPoint(Point p) { return (static_cast<int64_t>(p.x) << 32) | static_cast<uint32_t>(p.y); }
Point unpackPoint(int64_t v) { return Point{static_cast<int32_t>(v >> 32), static_cast<int32_t>(v & 0xFFFFFFFF)}; }

std::vector<ControlState> describeLocal(HWND hwnd) {
    std::vector<ControlState> out;
    std::lock_guard lock(sys().mutex());
    std::function<void(HWND, bool)> walk = [&](HWND h, bool parentVisible) {
        auto r = sys().findLocked(h);
        if (!r) return;
        ControlState s;
        s.hwnd = h;
        s.parent = r->parent;
        s.id = r->id;
        s.className = r->className;
        s.text = r->title;
        s.rect = r->rect;
        s.visible = parentVisible && r->visibleStyle();
        s.enabled = r->enabledStyle();
        s.hasRange = r->hasRange;
        s.rangeMin = r->rangeMin;
        s.rangeMax = r->rangeMax;
        s.pos = r->pos;
        out.push_back(s);
        for (HWND c : r->children) walk(c, s.visible);
    };
    bool visible = true;
    for (auto p = sys().findLocked(sys().findLocked(hwnd) ? sys().findLocked(hwnd)->parent : 0); p;
         p = sys().findLocked(p->parent))
        visible = visible && p->visibleStyle();
    walk(hwnd, visible);
    return out;
}

Json toJson(const std::vector<ControlState>& controls) {
    Json list = Json::array();
    for (const auto& c : controls) {
        list.push_back({{"hwnd", c.hwnd},
                        {"parent", c.parent},
                        {"id", c.id},
                        {"class", c.className},
                        {"text", c.text},
                        {"rect", {c.rect.left, c.rect.top, c.rect.right, c.rect.bottom}},
                        {"visible", c.visible},
                        {"enabled", c.enabled},
                        {"hasRange", c.hasRange},
                        {"min", c.rangeMin},
                        {"max", c.rangeMax},
                        {"pos", c.pos}});
    }
    return list;
}

std::optional<std::vector<ControlState>> fromJson(const std::vector<uint8_t>& bytes) {
    Json list = Json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (list.is_discarded() || !list.is_array()) return std::nullopt;
    std::vector<ControlState> out;
    try {
        for (const auto& c : list) {
            ControlState s;
            s.hwnd = c.at("hwnd").get<HWND>();
            s.parent = c.at("parent").get<HWND>();
            s.id = c.at("id").get<int>();
            s.className = c.at("class").get<std::string>();
            s.text = c.at("text").get<std::string>();
            const auto& r = c.at("rect");
            s.rect = {r.at(0).get<int>(), r.at(1).get<int>(), r.at(2).get<int>(), r.at(3).get<int>()};
            s.visible = c.at("visible").get<bool>();
            s.enabled = c.at("enabled").get<bool>();
            s.hasRange = c.at("hasRange").get<bool>();
            s.rangeMin = c.at("min").get<int>();
            s.rangeMax = c.at("max").get<int>();
            s.pos = c.at("pos").get<int>();
            out.push_back(std::move(s));
        }
    } catch (const Json::exception&) {
        return std::nullopt;
    }
    return out;
}

// A window's image comes from a thread of its owner that never waits for the window's own
// thread, so only a stopped or frozen process takes long; a capture gives up on it sooner than
// a message would.
constexpr uint32_t kImageTimeoutMs = 1000;

Result<Reply> callOwner(HWND hwnd, Request req, uint32_t timeoutMs = SEND_TIMEOUT_MS) {
    DesktopLink* link = sys().link();
    int pid = link ? sys().index().read().ownerPid(hwnd) : 0;
    if (pid == 0 || pid == currentPid()) return fail(ERROR_INVALID_HANDLE);
    req.senderPid = static_cast<uint32_t>(currentPid());
    auto self = MessageQueue::current();
    return link->call(pid, req, timeoutMs, self->wakeFd(), [self] {
        self->drainWake();
        processSentMessages();
    });
}

Error deliverInput(HWND target, UINT msg, WPARAM wParam, Point screen) {
    if (sys().find(target)) return routeInput(sys().topLevelOf(target), msg, wParam, screen);
    Request req;
    req.kind = RequestKind::Input;
    req.hwnd = target;
    req.msg = msg;
    req.wParam = wParam;
    req.lParam = packPoint(screen);
    auto reply = callOwner(target, req);
    if (!reply.ok()) return reply.error();
    return reply->status;
}

// A static text lets the pen through to what lies under it, unless it asks for notifications
// (a tap on a label is a tap on the page).
bool transparentToPen(const WindowRecord& r) {
    return asciiUpper(r.className) == "STATIC" && (r.style & SS_NOTIFY) == 0;
}

// Deepest visible child of `hwnd` under the point (client coordinates of hwnd).
HWND hitTest(HWND hwnd, Point client) {
    std::lock_guard lock(sys().mutex());
    HWND current = hwnd;
    for (;;) {
        auto r = sys().findLocked(current);
        if (!r) return current;
        HWND next = 0;
        for (HWND c : r->children) {  // front first
            auto child = sys().findLocked(c);
            if (child && child->visibleStyle() && !transparentToPen(*child) && child->rect.contains(client)) {
                next = c;
                client = Point{client.x - child->rect.left, client.y - child->rect.top};
                break;
            }
        }
        if (!next) return current;
        current = next;
    }
}

void blit(const Surface& src, Surface& dst, Point at) {
    Rect area = Rect{at.x, at.y, at.x + src.width(), at.y + src.height()}.intersect(dst.bounds());
    for (int y = area.top; y < area.bottom; ++y)
        std::memcpy(dst.row(y) + area.left, src.row(y - at.y) + (area.left - at.x), static_cast<size_t>(area.width()) * 4);
}

// The memory file of a top-level window of this process. Taken under the system's lock: the
// image lives as long as its record is listed, and its owner may destroy it at any moment.
OwnedFd localImage(HWND hwnd) {
    std::lock_guard lock(sys().mutex());
    auto r = sys().findLocked(hwnd);
    return r && r->topLevel() && r->composed ? r->composed->share() : OwnedFd();
}

// A window's image as it shows now, read from its memory file (never from a mapping its owner
// may shrink meanwhile).
Result<Surface> pixelsOf(const IndexEntry& e) {
    OwnedFd image;
    if (sys().find(e.hwnd)) {
        image = localImage(e.hwnd);
    } else {
        Request req;
        req.kind = RequestKind::Image;
        req.hwnd = e.hwnd;
        auto reply = callOwner(e.hwnd, req, kImageTimeoutMs);
        if (!reply.ok()) return fail(reply.error());
        if (reply->status) return fail(reply->status);
        image = std::move(reply->fd);
    }
    if (!image.valid()) return fail(ERROR_INVALID_HANDLE);
    return SharedPixels::read(image.get());
}

}  // namespace

Error routeInput(HWND topLevel, UINT msg, WPARAM wParam, Point screen) {
    auto top = sys().find(topLevel);
    if (!top) return ERROR_INVALID_HANDLE;
    HWND target;
    bool pen = msg >= WM_MOUSEMOVE && msg <= WM_LBUTTONDBLCLK;
    if (pen) {
        HWND capture = sys().capture;
        if (capture && sys().find(capture)) {
            target = capture;
        } else {
            Rect topRect;
            getWindowRect(topLevel, &topRect);
            target = hitTest(topLevel, Point{screen.x - topRect.left, screen.y - topRect.top});
        }
    } else {
        HWND focus = sys().focus;
        target = focus && (focus == topLevel || sys().isDescendant(focus, topLevel)) ? focus : topLevel;
    }
    auto r = sys().find(target);
    if (!r) return ERROR_INVALID_HANDLE;
    if (!isWindowEnabled(target)) return ERROR_SUCCESS;  // a disabled window swallows input
    Msg m{target, msg, wParam, 0, messageTime(), screen.x, screen.y};
    if (pen) {
        Rect wr;
        getWindowRect(target, &wr);
        m.lParam = makeLParam(static_cast<unsigned>(screen.x - wr.left), static_cast<unsigned>(screen.y - wr.top));
    }
    return r->queue->pushInput(m) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

Reply answerRequest(const Request& req) {
    Reply reply;
    switch (req.kind) {
        case RequestKind::Send: {
            if (!sys().find(req.hwnd)) {
                reply.status = ERROR_INVALID_HANDLE;
                break;
            }
            if (req.msg != WM_COPYDATA && messageCarriesPointers(req.msg)) {
                reply.status = ERROR_INVALID_PARAMETER;  // a foreign address must never be followed
                break;
            }
            CopyDataStruct cds;
            LPARAM lParam = static_cast<LPARAM>(req.lParam);
            if (req.msg == WM_COPYDATA) {
                if (req.payload.size() < 8) {
                    reply.status = ERROR_INVALID_DATA;
                    break;
                }
                uint64_t dwData = 0;
                for (int i = 0; i < 8; ++i) dwData |= static_cast<uint64_t>(req.payload[static_cast<size_t>(i)]) << (8 * i);
                cds.dwData = static_cast<uintptr_t>(dwData);
                cds.cbData = static_cast<uint32_t>(req.payload.size() - 8);
                cds.lpData = cds.cbData ? req.payload.data() + 8 : nullptr;
                lParam = reinterpret_cast<LPARAM>(&cds);  // valid while the handler runs
            }
            LRESULT result = 0;
            if (!sendMessageTimeout(req.hwnd, req.msg, static_cast<WPARAM>(req.wParam), lParam, 0xFFFFFFFFu, &result)) {
                reply.status = lastSendError();
                break;
            }
            reply.result = result;
            break;
        }
        case RequestKind::Post:
            if (!sys().find(req.hwnd)) reply.status = ERROR_INVALID_HANDLE;
            else if (!postMessage(req.hwnd, req.msg, static_cast<WPARAM>(req.wParam), static_cast<LPARAM>(req.lParam)))
                reply.status = messageCarriesPointers(req.msg) ? ERROR_INVALID_PARAMETER : ERROR_NOT_ENOUGH_QUOTA;
            break;
        case RequestKind::Image:
            reply.fd = localImage(req.hwnd);
            if (!reply.fd.valid()) reply.status = ERROR_INVALID_HANDLE;
            break;
        case RequestKind::Describe: {
            if (!sys().find(req.hwnd)) {
                reply.status = ERROR_INVALID_HANDLE;
                break;
            }
            std::string text = toJson(describeLocal(req.hwnd)).dump();
            reply.payload.assign(text.begin(), text.end());
            break;
        }
        case RequestKind::Input: {
            HWND top = sys().find(req.hwnd) ? sys().topLevelOf(req.hwnd) : 0;
            reply.status = top ? routeInput(top, req.msg, static_cast<WPARAM>(req.wParam), unpackPoint(req.lParam))
                               : ERROR_INVALID_HANDLE;
            break;
        }
        default:
            reply.status = ERROR_INVALID_PARAMETER;
    }
    return reply;
}

std::vector<TopLevelWindow> enumTopLevelWindows() {
    std::vector<TopLevelWindow> out;
    for (const auto& e : sys().index().read().windows)
        out.push_back({e.hwnd, e.pid, e.program, e.title, e.className, e.rect, e.visible, e.topmost});
    return out;
}

Result<std::vector<ControlState>> describeControls(HWND hwnd) {
    if (sys().find(hwnd)) return describeLocal(hwnd);
    Request req;
    req.kind = RequestKind::Describe;
    req.hwnd = hwnd;
    auto reply = callOwner(hwnd, req);
    if (!reply.ok()) return fail(reply.error());
    if (reply->status) return fail(reply->status);
    auto controls = fromJson(reply->payload);
    if (!controls) return fail(ERROR_INVALID_DATA);
    return *controls;
}

Error injectPen(Point screen, PenAction action) {
    const IndexData d = sys().index().read();
    const bool held = action == PenAction::Move || action == PenAction::Up;
    HWND target = 0;
    if (d.capture && d.ownerPid(d.capture)) {
        target = d.capture;
    } else if (held && d.pen && d.ownerPid(d.pen)) {
        target = d.pen;  // the pen still belongs to the window that took it down
    } else if (action != PenAction::Move) {
        for (const auto& e : d.windows) {
            if (e.visible && e.rect.contains(screen)) {
                target = e.hwnd;
                break;
            }
        }
    }
    // A pen put down is held by its window until it is lifted; a tap leaves nothing held.
    if (action != PenAction::Move) {
        const HWND holder = action == PenAction::Down || action == PenAction::DoubleDown ? target : 0;
        if (holder != d.pen) sys().index().update([&](IndexData& data) { data.pen = holder; });
    }
    if (!target) return ERROR_INVALID_HANDLE;  // nothing on the screen there, or no pen down
    std::vector<UINT> messages;
    switch (action) {
        case PenAction::Down: messages = {WM_LBUTTONDOWN}; break;
        case PenAction::Up: messages = {WM_LBUTTONUP}; break;
        case PenAction::Tap: messages = {WM_LBUTTONDOWN, WM_LBUTTONUP}; break;
        case PenAction::DoubleTap: messages = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}; break;
        case PenAction::DoubleDown: messages = {WM_LBUTTONDBLCLK}; break;
        case PenAction::Move: messages = {WM_MOUSEMOVE}; break;
    }
    for (UINT m : messages)
        if (Error e = deliverInput(target, m, m == WM_LBUTTONUP ? WPARAM{0} : WPARAM{MK_LBUTTON}, screen)) return e;
    return ERROR_SUCCESS;
}

Error injectKey(UINT virtualKey, bool down) {
    const IndexData d = sys().index().read();
    HWND target = d.foreground;
    if (!target) {
        for (const auto& e : d.windows) {
            if (e.visible) {
                target = e.hwnd;
                break;
            }
        }
    }
    if (!target) return ERROR_INVALID_HANDLE;
    return deliverInput(target, down ? WM_KEYDOWN : WM_KEYUP, virtualKey, Point{});
}

Result<std::unique_ptr<Surface>> captureScreen() {
    auto screen = std::make_unique<Surface>(getSystemMetrics(SM_CXSCREEN), getSystemMetrics(SM_CYSCREEN), 0);
    const IndexData d = sys().index().read();
    for (auto it = d.windows.rbegin(); it != d.windows.rend(); ++it) {  // back to front
        if (!it->visible) continue;
        auto pixels = pixelsOf(*it);
        if (pixels.ok()) blit(*pixels, *screen, Point{it->rect.left, it->rect.top});
    }
    return screen;
}

Result<std::unique_ptr<Surface>> captureWindow(HWND topLevel) {
    const IndexData d = sys().index().read();
    const IndexEntry* e = d.find(topLevel);
    if (!e) return fail(ERROR_INVALID_HANDLE);
    auto pixels = pixelsOf(*e);
    if (!pixels.ok()) return fail(pixels.error());
    return std::make_unique<Surface>(std::move(*pixels));
}

std::string desktopFolder() { return sys().desktopFolder(); }

}  // namespace ce
