#include "platform/ui/message_queue.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/core/debug.h"
#include "platform/ui/window_system.h"

namespace ce {

namespace {

// Ends the thread's queue when the thread ends, so that senders waiting on it are released.
struct QueueHolder {
    std::shared_ptr<MessageQueue> queue;
    ~QueueHolder() {
        if (queue) queue->shutdown();
    }
};

bool inRange(UINT msg, UINT min, UINT max) { return (min == 0 && max == 0) || (msg >= min && msg <= max); }

}  // namespace

bool matchesFilter(const Msg& msg, HWND filter, UINT min, UINT max) {
    if (!inRange(msg.message, min, max)) return false;
    if (filter == 0) return true;
    return msg.hwnd == filter || WindowSystem::instance().isDescendant(msg.hwnd, filter);
}

MessageQueue::MessageQueue() : owner_(std::this_thread::get_id()) {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

MessageQueue::~MessageQueue() {
    if (wakeFd_ >= 0) close(wakeFd_);
}

std::shared_ptr<MessageQueue> MessageQueue::current() {
    thread_local QueueHolder holder;
    if (!holder.queue) holder.queue = std::make_shared<MessageQueue>();
    return holder.queue;
}

void MessageQueue::wake() {
    uint64_t one = 1;
    ssize_t n = write(wakeFd_, &one, sizeof one);
    (void)n;  // a full counter already wakes the owner
}

void MessageQueue::drainWake() {
    uint64_t value;
    ssize_t n = read(wakeFd_, &value, sizeof value);
    (void)n;
}

bool MessageQueue::waitWake(std::optional<Clock::time_point> deadline) {
    for (;;) {
        int timeout = -1;
        if (deadline) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            timeout = left < 0 ? 0 : static_cast<int>(std::min<int64_t>(left, 1 << 30));
        }
        pollfd pfd{wakeFd_, POLLIN, 0};
        int r = poll(&pfd, 1, timeout);
        if (r > 0) {
            drainWake();
            return true;
        }
        if (r == 0) return false;
        if (errno != EINTR) return false;
    }
}

bool MessageQueue::pushSent(const std::shared_ptr<SentMessage>& sent) {
    {
        std::lock_guard lock(mutex_);
        if (dead_) return false;
        sent_.push_back(sent);
    }
    wake();
    return true;
}

bool MessageQueue::admit(std::deque<Msg>& queue, const Msg& msg) {
    bool full = false, firstRefusal = false;
    {
        std::lock_guard lock(mutex_);
        if (dead_) return false;
        full = queue.size() >= MAX_WAITING;
        if (full) {
            firstRefusal = !std::exchange(overflowNoted_, true);
        } else {
            if (queue.size() < MAX_WAITING / 2) overflowNoted_ = false;  // the flood is over
            queue.push_back(msg);
        }
    }
    if (firstRefusal)
        debugPrint("message queue full: %d messages wait; message 0x%04X and any more refused\n",
                   static_cast<int>(MAX_WAITING), msg.message);
    if (full) return false;
    wake();
    return true;
}

bool MessageQueue::pushPosted(const Msg& msg) { return admit(posted_, msg); }

bool MessageQueue::pushInput(const Msg& msg) { return admit(input_, msg); }

void MessageQueue::postQuit(int exitCode) {
    {
        std::lock_guard lock(mutex_);
        quit_ = exitCode;
    }
    wake();
}

bool MessageQueue::retractSent(const std::shared_ptr<SentMessage>& sent) {
    std::lock_guard lock(mutex_);
    auto it = std::find(sent_.begin(), sent_.end(), sent);
    if (it == sent_.end()) return false;
    sent_.erase(it);
    return true;
}

std::shared_ptr<SentMessage> MessageQueue::takeSent() {
    std::lock_guard lock(mutex_);
    if (sent_.empty()) return nullptr;
    auto s = sent_.front();
    sent_.pop_front();
    return s;
}

bool MessageQueue::hasSent() {
    std::lock_guard lock(mutex_);
    return !sent_.empty();
}

static std::optional<Msg> takeFrom(std::deque<Msg>& q, HWND filter, UINT min, UINT max, bool remove) {
    for (auto it = q.begin(); it != q.end(); ++it) {
        if (!matchesFilter(*it, filter, min, max)) continue;
        Msg m = *it;
        if (remove) q.erase(it);
        return m;
    }
    return std::nullopt;
}

std::optional<Msg> MessageQueue::takePosted(HWND filter, UINT min, UINT max, bool remove) {
    std::lock_guard lock(mutex_);
    return takeFrom(posted_, filter, min, max, remove);
}

std::optional<Msg> MessageQueue::takeInput(HWND filter, UINT min, UINT max, bool remove) {
    std::lock_guard lock(mutex_);
    return takeFrom(input_, filter, min, max, remove);
}

std::optional<int> MessageQueue::takeQuit(bool remove) {
    std::lock_guard lock(mutex_);
    auto q = quit_;
    if (remove) quit_.reset();
    return q;
}

void MessageQueue::removeMessagesFor(HWND hwnd) {
    std::lock_guard lock(mutex_);
    auto gone = [hwnd](const Msg& m) { return m.hwnd == hwnd; };
    std::erase_if(posted_, gone);
    std::erase_if(input_, gone);
    paintPending_.erase(hwnd);
    std::erase_if(timers_, [hwnd](const Timer& t) { return t.hwnd == hwnd; });
}

void MessageQueue::failSentFor(HWND hwnd) {
    std::vector<std::shared_ptr<SentMessage>> gone;
    {
        std::lock_guard lock(mutex_);
        for (auto it = sent_.begin(); it != sent_.end();) {
            if ((*it)->hwnd == hwnd) {
                gone.push_back(*it);
                it = sent_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& s : gone) completeSent(s, 0, false);
}

void MessageQueue::setPaintPending(HWND hwnd, bool pending) {
    bool woke = false;
    {
        std::lock_guard lock(mutex_);
        if (pending) woke = paintPending_.insert(hwnd).second;
        else paintPending_.erase(hwnd);
    }
    if (woke) wake();
}

std::vector<HWND> MessageQueue::paintPending() {
    std::lock_guard lock(mutex_);
    return {paintPending_.begin(), paintPending_.end()};
}

void MessageQueue::setTimer(HWND hwnd, uintptr_t id, uint32_t period) {
    std::lock_guard lock(mutex_);
    Clock::time_point due = Clock::now() + std::chrono::milliseconds(period);
    for (auto& t : timers_) {
        if (t.hwnd == hwnd && t.id == id) {  // an existing id starts again from now
            t.period = period;
            t.due = due;
            return;
        }
    }
    timers_.push_back(Timer{hwnd, id, period, due});
}

bool MessageQueue::killTimer(HWND hwnd, uintptr_t id) {
    std::lock_guard lock(mutex_);
    return std::erase_if(timers_, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; }) > 0;
}

void MessageQueue::killTimers(HWND hwnd) {
    std::lock_guard lock(mutex_);
    std::erase_if(timers_, [&](const Timer& t) { return t.hwnd == hwnd; });
}

std::vector<Timer> MessageQueue::dueTimers(Clock::time_point now) {
    std::lock_guard lock(mutex_);
    std::vector<Timer> due;
    for (const auto& t : timers_)
        if (t.due <= now) due.push_back(t);
    std::stable_sort(due.begin(), due.end(), [](const Timer& a, const Timer& b) { return a.due < b.due; });
    return due;
}

void MessageQueue::rearm(HWND hwnd, uintptr_t id, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    for (auto& t : timers_) {
        // Every expiry that passed while the thread was busy collapses into this one WM_TIMER.
        if (t.hwnd == hwnd && t.id == id) t.due = now + std::chrono::milliseconds(t.period);
    }
}

std::optional<Clock::time_point> MessageQueue::nextTimerDue() {
    std::lock_guard lock(mutex_);
    std::optional<Clock::time_point> next;
    for (const auto& t : timers_)
        if (!next || t.due < *next) next = t.due;
    return next;
}

void MessageQueue::shutdown() {
    std::deque<std::shared_ptr<SentMessage>> pending;
    {
        std::lock_guard lock(mutex_);
        dead_ = true;
        pending.swap(sent_);
        posted_.clear();
        input_.clear();
        timers_.clear();
    }
    for (auto& s : pending) completeSent(s, 0, false);
}

bool MessageQueue::dead() {
    std::lock_guard lock(mutex_);
    return dead_;
}

uint32_t messageTime() {
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
}

void completeSent(const std::shared_ptr<SentMessage>& sent, LRESULT result, bool delivered) {
    sent->result = result;
    sent->delivered = delivered;
    auto replyTo = sent->replyTo;
    sent->done.store(true, std::memory_order_release);
    if (replyTo) replyTo->wake();
}

}  // namespace ce
