// The thread's side of its queue: getMessage / peekMessage in the fixed order (sent, posted,
// quit, input, paint, timers), dispatching, timers, the quit request, registered messages.

#include <cctype>
#include <map>
#include <mutex>

#include "platform/core/text.h"
#include "platform/ui/message.h"
#include "platform/ui/window_system.h"

namespace ce {

namespace {

WindowSystem& sys() { return WindowSystem::instance(); }

bool wants(UINT msg, UINT min, UINT max) { return (min == 0 && max == 0) || (msg >= min && msg <= max); }

std::optional<Msg> nextPaint(const std::shared_ptr<MessageQueue>& q, HWND filter) {
    for (HWND h : q->paintPending()) {
        auto r = sys().find(h);
        bool invalid;
        {
            std::lock_guard lock(sys().mutex());
            invalid = r && !r->invalid.empty();
        }
        if (!invalid) {
            q->setPaintPending(h, false);
            continue;
        }
        if (!sys().visibleChain(h)) continue;  // a hidden window is painted when it is shown
        Msg m{h, WM_PAINT, 0, 0, messageTime()};
        if (matchesFilter(m, filter, 0, 0)) return m;
    }
    return std::nullopt;
}

std::optional<Msg> nextTimer(const std::shared_ptr<MessageQueue>& q, HWND filter, bool remove) {
    auto now = Clock::now();
    for (const Timer& t : q->dueTimers(now)) {
        Msg m{t.hwnd, WM_TIMER, t.id, 0, messageTime()};
        if (!matchesFilter(m, filter, 0, 0)) continue;
        if (remove) q->rearm(t.hwnd, t.id, now);
        return m;
    }
    return std::nullopt;
}

bool peekOnce(Msg* out, HWND filter, UINT min, UINT max, bool remove) {
    auto q = MessageQueue::current();
    processSentMessages();
    flushComposition(q);
    if (auto m = q->takePosted(filter, min, max, remove)) {
        *out = *m;
        return true;
    }
    if (wants(WM_QUIT, min, max)) {
        if (auto code = q->takeQuit(remove)) {
            *out = Msg{0, WM_QUIT, static_cast<WPARAM>(*code), 0, messageTime()};
            return true;
        }
    }
    if (auto m = q->takeInput(filter, min, max, remove)) {
        *out = *m;
        return true;
    }
    if (wants(WM_PAINT, min, max)) {
        if (auto m = nextPaint(q, filter)) {
            *out = *m;
            return true;
        }
    }
    if (wants(WM_TIMER, min, max)) {
        if (auto m = nextTimer(q, filter, remove)) {
            *out = *m;
            return true;
        }
    }
    return false;
}

}  // namespace

bool getMessage(Msg* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    auto q = MessageQueue::current();
    Msg local;
    Msg* out = msg ? msg : &local;
    for (;;) {
        if (peekOnce(out, hwnd, filterMin, filterMax, true)) return out->message != WM_QUIT;
        q->waitWake(q->nextTimerDue());
    }
}

bool peekMessage(Msg* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
    Msg local;
    return peekOnce(msg ? msg : &local, hwnd, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0);
}

bool waitMessage(uint32_t timeoutMs) {
    auto q = MessageQueue::current();
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        Msg m;
        if (peekOnce(&m, 0, 0, 0, false)) return true;
        auto due = q->nextTimerDue();
        auto until = due && *due < deadline ? *due : deadline;
        if (!q->waitWake(until) && Clock::now() >= deadline) return false;
    }
}

bool translateMessage(const Msg* msg) {
    if (!msg || msg->message != WM_KEYDOWN) return false;
    auto vk = static_cast<int>(msg->wParam);
    bool character = (vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z') || vk == ' ' || vk == '\r';
    if (!character) return false;
    WPARAM ch = static_cast<WPARAM>(vk >= 'A' && vk <= 'Z' ? std::tolower(vk) : vk);
    return MessageQueue::current()->pushPosted(Msg{msg->hwnd, WM_CHAR, ch, msg->lParam, messageTime()});
}

LRESULT dispatchMessage(const Msg* msg) {
    if (!msg || msg->hwnd == 0) return 0;
    return callWindowProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

int runMessageLoop() {
    Msg m;
    while (getMessage(&m)) {
        translateMessage(&m);
        dispatchMessage(&m);
    }
    return static_cast<int>(m.wParam);
}

void postQuitMessage(int exitCode) { MessageQueue::current()->postQuit(exitCode); }

UINT registerWindowMessage(std::string_view name) {
    if (name.empty()) return 0;
    std::string key = asciiUpper(name);
    static std::mutex mutex;
    static std::map<std::string, UINT>* known = new std::map<std::string, UINT>;
    {
        std::lock_guard lock(mutex);
        auto it = known->find(key);
        if (it != known->end()) return it->second;
    }
    UINT id = 0;
    sys().index().update([&](IndexData& d) {
        auto it = d.atoms.find(key);
        if (it != d.atoms.end()) {
            id = it->second;
        } else if (d.nextAtom <= REGISTERED_MESSAGE_LAST) {
            id = d.nextAtom++;
            d.atoms[key] = id;
        }
    });
    if (id) {
        std::lock_guard lock(mutex);
        (*known)[key] = id;
    }
    return id;
}

uintptr_t setTimer(HWND hwnd, uintptr_t id, uint32_t elapseMs) {
    auto r = sys().find(hwnd);
    if (!r || id == 0 || r->queue != MessageQueue::current()) return 0;
    r->queue->setTimer(hwnd, id, elapseMs);
    return id;
}

bool killTimer(HWND hwnd, uintptr_t id) {
    auto r = sys().find(hwnd);
    return r && r->queue->killTimer(hwnd, id);
}

}  // namespace ce
