#pragma once
// The message queue of one thread (internal to the window system).
//
// Other threads put messages in (sent, posted, input) and wake the owner through an eventfd,
// which lets the owner wait for its queue and a socket at the same time. Timers and paint
// requests are not stored as messages: the owner generates WM_TIMER and WM_PAINT when nothing
// else is waiting, which is what keeps them last in the order and coalesced.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "platform/ui/types.h"

namespace ce {

using Clock = std::chrono::steady_clock;

class MessageQueue;

// A message sent from another thread, waiting to be handled on the owner's thread. The sender
// keeps it alive and waits until `done`.
struct SentMessage {
    HWND hwnd = 0;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
    bool delivered = false;          // false: the window or its thread went away first
    std::atomic<bool> done{false};
    std::shared_ptr<MessageQueue> replyTo;  // woken when done
};

struct Timer {
    HWND hwnd = 0;
    uintptr_t id = 0;
    uint32_t period = 0;
    Clock::time_point due;
};

class MessageQueue {
public:
    MessageQueue();
    ~MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // The queue of the calling thread, created on first use and ended with the thread.
    static std::shared_ptr<MessageQueue> current();

    std::thread::id owner() const { return owner_; }
    int wakeFd() const { return wakeFd_; }
    void wake();
    void drainWake();
    // Waits for a wake-up until the deadline (none: forever). True when woken.
    bool waitWake(std::optional<Clock::time_point> deadline);

    // At most this many posted messages, and as many input messages, wait in a queue (as on
    // the device): a flood from another process cannot eat the program's memory. A push
    // beyond fails; the first refusal of a flood leaves a debug line.
    static constexpr size_t MAX_WAITING = 10000;

    // From any thread. False when the queue's thread has ended (or the queue is full).
    bool pushSent(const std::shared_ptr<SentMessage>& sent);
    // Takes a sent message back if its handling has not started (a send that timed out).
    bool retractSent(const std::shared_ptr<SentMessage>& sent);
    bool pushPosted(const Msg& msg);
    bool pushInput(const Msg& msg);
    void postQuit(int exitCode);

    // Owner thread only.
    std::shared_ptr<SentMessage> takeSent();
    bool hasSent();
    // The first posted (or input) message matching the filter; removed when `remove`.
    std::optional<Msg> takePosted(HWND filter, UINT min, UINT max, bool remove);
    std::optional<Msg> takeInput(HWND filter, UINT min, UINT max, bool remove);
    std::optional<int> takeQuit(bool remove);
    void removeMessagesFor(HWND hwnd);  // when a window is destroyed
    // Completes, undelivered, the sends to a window that no longer exists.
    void failSentFor(HWND hwnd);

    // Windows of this thread that need painting (kept in handle order: parents first).
    void setPaintPending(HWND hwnd, bool pending);
    std::vector<HWND> paintPending();

    // Timers (owner thread).
    void setTimer(HWND hwnd, uintptr_t id, uint32_t period);
    bool killTimer(HWND hwnd, uintptr_t id);
    void killTimers(HWND hwnd);
    // Timers that are due now, earliest first; the caller picks one matching its filter.
    std::vector<Timer> dueTimers(Clock::time_point now);
    void rearm(HWND hwnd, uintptr_t id, Clock::time_point now);
    std::optional<Clock::time_point> nextTimerDue();

    // Called when the thread ends: pending sends complete undelivered, later pushes fail.
    void shutdown();
    bool dead();

    // Set by other threads that changed a window of this queue's thread: its thread composes
    // the window's image again before it looks at its queue.
    std::atomic<bool> composeRequested{false};

private:
    std::mutex mutex_;
    std::thread::id owner_;
    int wakeFd_ = -1;
    bool dead_ = false;
    std::deque<std::shared_ptr<SentMessage>> sent_;
    std::deque<Msg> posted_;
    std::deque<Msg> input_;
    std::optional<int> quit_;
    std::set<HWND> paintPending_;
    std::vector<Timer> timers_;
    bool overflowNoted_ = false;

    // Appends to posted_ or input_ unless the queue is full or dead, and wakes the owner.
    bool admit(std::deque<Msg>& queue, const Msg& msg);
};

// Milliseconds of the steady clock, truncated to 32 bits (the time stamp of queued messages).
uint32_t messageTime();

// Completes a sent message and wakes its sender.
void completeSent(const std::shared_ptr<SentMessage>& sent, LRESULT result, bool delivered);

// True when the message matches a peek/get filter (hwnd 0 = any; a child of the filter
// window matches too; min = max = 0 = any message).
bool matchesFilter(const Msg& msg, HWND filter, UINT min, UINT max);

}  // namespace ce
