// Sending and posting messages: to a window of the calling thread, of another thread, of
// another process, and to every top-level window (HWND_BROADCAST).

#include <cstring>

#include "platform/core/time.h"
#include "platform/ui/message.h"
#include "platform/ui/window_system.h"

namespace ce {

namespace {

// Runs a function on a window's thread (see onWindowThread); never seen by programs.
constexpr UINT WM_UI_CALL = 0x03FF;

thread_local uint32_t t_lastSendError = ERROR_SUCCESS;

WindowSystem& sys() { return WindowSystem::instance(); }

// Messages whose parameters are pointers into the sender's memory. They may be sent within a
// process but never posted (the memory may be gone when the message is handled) and never
// sent to another process (its handler would read a foreign address). WM_COPYDATA is the one
// that crosses processes: its bytes are copied.
bool carriesPointers(UINT msg) {
    switch (msg) {
        case WM_CREATE:
        case WM_SETTEXT:
        case WM_GETTEXT:
        case WM_ERASEBKGND:
        case WM_SETFONT:
        case WM_NOTIFY:
        case WM_COPYDATA:
        case WM_UI_CALL:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool messageCarriesPointers(UINT msg) { return carriesPointers(msg); }

namespace {

bool broadcastable(UINT msg) { return msg < WM_USER || msg >= REGISTERED_MESSAGE_FIRST; }

using Deadline = std::optional<Clock::time_point>;


Deadline deadlineAfter(uint32_t timeoutMs) {
    if (timeoutMs == INFINITE) return std::nullopt;
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

// Sends to a window of this process. Fills `error` when there is no answer.
LRESULT sendLocal(const RecordPtr& r, UINT msg, WPARAM wParam, LPARAM lParam, uint32_t timeoutMs, Error& error) {
    auto self = MessageQueue::current();
    error = ERROR_SUCCESS;
    if (r->queue == self) return callWindowProc(r->hwnd, msg, wParam, lParam);

    auto s = std::make_shared<SentMessage>();
    s->hwnd = r->hwnd;
    s->msg = msg;
    s->wParam = wParam;
    s->lParam = lParam;
    s->replyTo = self;
    if (!r->queue->pushSent(s)) {
        error = ERROR_INVALID_HANDLE;
        return 0;
    }
    // The window may have been destroyed meanwhile; its destruction releases only the sends
    // queued before it, so take this one back if it is still waiting.
    if (!sys().find(r->hwnd) && r->queue->retractSent(s)) {
        error = ERROR_INVALID_HANDLE;
        return 0;
    }
    Deadline deadline = deadlineAfter(timeoutMs);
    while (!s->done.load(std::memory_order_acquire)) {
        processSentMessages();  // answer whoever sends to us meanwhile: no deadlock between two threads
        if (s->done.load(std::memory_order_acquire)) break;
        if (!self->waitWake(deadline) && !s->done.load(std::memory_order_acquire)) {
            // Its parameters may point into our stack: give up only if it has not started.
            if (r->queue->retractSent(s)) {
                error = ERROR_TIMEOUT;
                return 0;
            }
            deadline.reset();
        }
    }
    if (!s->delivered) error = ERROR_INVALID_HANDLE;
    return s->result;
}

LRESULT sendRemote(int pid, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, uint32_t timeoutMs, Error& error) {
    error = ERROR_SUCCESS;
    DesktopLink* link = sys().link();
    if (!link || pid == 0) {
        error = ERROR_INVALID_HANDLE;
        return 0;
    }
    Request req;
    req.kind = RequestKind::Send;
    req.hwnd = hwnd;
    req.msg = msg;
    req.wParam = wParam;
    req.lParam = lParam;
    req.senderPid = static_cast<uint32_t>(currentPid());
    if (msg == WM_COPYDATA) {
        const auto* cds = reinterpret_cast<const CopyDataStruct*>(lParam);
        if (cds && cds->cbData > COPYDATA_MAX_BYTES) {  // the receiver would refuse the frame
            error = ERROR_INVALID_PARAMETER;
            return 0;
        }
        uint64_t dwData = cds ? cds->dwData : 0;
        for (int i = 0; i < 8; ++i) req.payload.push_back(static_cast<uint8_t>(dwData >> (8 * i)));
        if (cds && cds->lpData && cds->cbData) {
            const auto* bytes = static_cast<const uint8_t*>(cds->lpData);
            req.payload.insert(req.payload.end(), bytes, bytes + cds->cbData);
        }
        req.lParam = 0;
    } else if (carriesPointers(msg)) {
        error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    auto self = MessageQueue::current();
    uint32_t bound = timeoutMs < SEND_TIMEOUT_MS ? timeoutMs : SEND_TIMEOUT_MS;
    auto reply = link->call(pid, req, bound, self->wakeFd(), [self] {
        self->drainWake();
        processSentMessages();
    });
    if (!reply.ok()) {
        error = reply.error();
        return 0;
    }
    if (reply->status != ERROR_SUCCESS) {
        error = reply->status;
        return 0;
    }
    return static_cast<LRESULT>(reply->result);
}

LRESULT sendAny(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, uint32_t timeoutMs, Error& error) {
    if (auto r = sys().find(hwnd)) return sendLocal(r, msg, wParam, lParam, timeoutMs, error);
    int pid = sys().sharedDesktop() ? sys().index().read().ownerPid(hwnd) : 0;
    if (pid == 0 || pid == currentPid()) {
        error = ERROR_INVALID_HANDLE;
        return 0;
    }
    return sendRemote(pid, hwnd, msg, wParam, lParam, timeoutMs, error);
}

LRESULT broadcast(UINT msg, WPARAM wParam, LPARAM lParam, uint32_t timeoutMs, Error& error) {
    error = ERROR_SUCCESS;
    if (!broadcastable(msg)) {
        error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    // Every top-level window in z-order, hidden ones too; each one is answered (or given up on)
    // before the next, and one that does not answer does not stop the others.
    for (const auto& e : sys().index().read().windows) {
        Error one = ERROR_SUCCESS;
        if (auto r = sys().find(e.hwnd)) sendLocal(r, msg, wParam, lParam, timeoutMs, one);
        else if (e.pid != currentPid()) sendRemote(e.pid, e.hwnd, msg, wParam, lParam, SEND_TIMEOUT_MS, one);
    }
    return 1;
}

bool postRemote(int pid, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    DesktopLink* link = sys().link();
    if (!link || pid == 0) return false;
    Request req;
    req.kind = RequestKind::Post;
    req.hwnd = hwnd;
    req.msg = msg;
    req.wParam = wParam;
    req.lParam = lParam;
    req.senderPid = static_cast<uint32_t>(currentPid());
    auto self = MessageQueue::current();
    auto reply = link->call(pid, req, SEND_TIMEOUT_MS, self->wakeFd(), [self] {
        self->drainWake();
        processSentMessages();
    });
    return reply.ok() && reply->status == ERROR_SUCCESS;
}

bool postOne(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (auto r = sys().find(hwnd)) return r->queue->pushPosted(Msg{hwnd, msg, wParam, lParam, messageTime()});
    int pid = sys().sharedDesktop() ? sys().index().read().ownerPid(hwnd) : 0;
    if (pid == 0 || pid == currentPid()) return false;
    return postRemote(pid, hwnd, msg, wParam, lParam);
}

}  // namespace

LRESULT callWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto r = sys().find(hwnd);
    if (!r || r->queue != MessageQueue::current()) return 0;
    if (msg == WM_UI_CALL) return (*reinterpret_cast<const std::function<LRESULT()>*>(lParam))();
    Window* object;
    {
        std::lock_guard lock(sys().mutex());
        object = r->object;
    }
    return object ? object->windowProc(msg, wParam, lParam) : 0;
}

LRESULT onWindowThread(HWND hwnd, const std::function<LRESULT()>& fn) {
    auto r = sys().find(hwnd);
    if (!r) return 0;
    if (r->queue == MessageQueue::current()) return fn();
    Error error;
    return sendLocal(r, WM_UI_CALL, 0, reinterpret_cast<LPARAM>(&fn), INFINITE, error);
}

void processSentMessages() {
    auto q = MessageQueue::current();
    while (auto s = q->takeSent()) {
        auto r = sys().find(s->hwnd);
        if (!r || r->queue != q) {
            completeSent(s, 0, false);
            continue;
        }
        LRESULT result = callWindowProc(s->hwnd, s->msg, s->wParam, s->lParam);
        completeSent(s, result, true);
    }
}

LRESULT sendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Error error = ERROR_SUCCESS;
    LRESULT result = hwnd == HWND_BROADCAST ? broadcast(msg, wParam, lParam, INFINITE, error)
                                            : sendAny(hwnd, msg, wParam, lParam, INFINITE, error);
    t_lastSendError = error;
    return result;
}

bool sendMessageTimeout(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, uint32_t timeoutMs, LRESULT* result) {
    Error error = ERROR_SUCCESS;
    LRESULT r = hwnd == HWND_BROADCAST ? broadcast(msg, wParam, lParam, timeoutMs, error)
                                       : sendAny(hwnd, msg, wParam, lParam, timeoutMs, error);
    t_lastSendError = error;
    if (result) *result = r;
    return error == ERROR_SUCCESS;
}

uint32_t lastSendError() { return t_lastSendError; }

bool postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (carriesPointers(msg)) return false;
    if (hwnd == 0) return MessageQueue::current()->pushPosted(Msg{0, msg, wParam, lParam, messageTime()});
    if (hwnd == HWND_BROADCAST) {
        if (!broadcastable(msg)) return false;
        for (const auto& e : sys().index().read().windows) postOne(e.hwnd, msg, wParam, lParam);
        return true;
    }
    return postOne(hwnd, msg, wParam, lParam);
}

}  // namespace ce
