#pragma once
// Window messages: sending, posting, the thread's message queue, timers, registered messages.
//
// Every thread that creates a window owns one message queue. A queue hands out its messages in
// a fixed order: messages sent from other threads or processes are handled first (inside
// getMessage/peekMessage, never returned), then posted messages, then the quit request, then
// input (pen and keys), then paint, then timers. sendMessage to a window of the calling thread is
// a direct call of its handler; to a window of another thread it queues the message and blocks
// until that thread has handled it, also while that thread sits in a nested modal loop or in its
// own sendMessage. A thread blocked in sendMessage keeps answering messages sent to it, so two
// threads sending to each other never deadlock.
//
// Across processes (the head unit's desktop, see desktop.h) a send to a dead peer fails at once
// and a send to a hung peer fails after SEND_TIMEOUT_MS. HWND_BROADCAST delivers to every
// top-level window of the desktop in z-order, hidden ones too, and returns after all have
// handled it; only system messages (below WM_USER) and registered messages are broadcast.

#include <cstdint>
#include <string_view>

#include "platform/ui/types.h"

namespace ce {

// Longest wait for another process to answer a sent message (also per window of a broadcast).
inline constexpr uint32_t SEND_TIMEOUT_MS = 5000;

// SendMessage. Returns the handler's result; 0 when the window does not exist, the peer process
// has died or did not answer within SEND_TIMEOUT_MS (lastSendError() says which).
LRESULT sendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// SendMessageTimeout: false when the message could not be delivered or was not answered within
// timeoutMs (ce::INFINITE waits forever for a window of this process); *result gets the result.
bool sendMessageTimeout(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, uint32_t timeoutMs,
                        LRESULT* result);

// Why the last sendMessage of this thread returned without an answer: ERROR_SUCCESS,
// ERROR_INVALID_HANDLE (no such window), ERROR_TIMEOUT (peer hung) or ERROR_INVALID_PARAMETER
// (a message whose parameters are pointers cannot cross processes; WM_COPYDATA is copied).
uint32_t lastSendError();

// PostMessage. hwnd 0 posts to the calling thread's queue. False when the window does not exist
// or the message carries pointers (WM_COPYDATA cannot be posted).
bool postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// PostQuitMessage: the thread's loops end (getMessage returns false, a modal dialog ends and
// passes the quit on to the loop around it).
void postQuitMessage(int exitCode);

// GetMessage: waits for the next message of the calling thread's queue (hwnd 0 = any window of
// the thread). False when it is WM_QUIT (msg->wParam holds the exit code).
bool getMessage(Msg* msg, HWND hwnd = 0, UINT filterMin = 0, UINT filterMax = 0);

// PeekMessage: like getMessage without waiting; false when nothing is waiting. PM_REMOVE takes
// the message out of the queue. WM_QUIT is returned (once) like any message.
bool peekMessage(Msg* msg, HWND hwnd = 0, UINT filterMin = 0, UINT filterMax = 0, UINT removeFlags = PM_REMOVE);

// Waits until a message (or a sent message) arrives or timeoutMs passes; false on time-out.
bool waitMessage(uint32_t timeoutMs);

// TranslateMessage: queues WM_CHAR for a WM_KEYDOWN of a character key. True when it did.
bool translateMessage(const Msg* msg);

// DispatchMessage: calls the window's handler. Returns its result (0 for no window).
LRESULT dispatchMessage(const Msg* msg);

// The standard loop: getMessage/translate/dispatch until WM_QUIT; returns the exit code.
int runMessageLoop();

// RegisterWindowMessage: the same number (0xC000..0xFFFF) for the same name, without regard to
// case, in every process of the head unit. 0 when the name is empty or the range is used up.
UINT registerWindowMessage(std::string_view name);

// SetTimer: starts (or restarts, when the id exists for the window) a timer that puts WM_TIMER
// (wParam = id) into the window's queue every elapseMs. Expiries that pass while the thread is
// busy are coalesced into one WM_TIMER. Only for windows of the calling thread; returns the id,
// or 0 on failure (no such window, id 0, window of another thread).
uintptr_t setTimer(HWND hwnd, uintptr_t id, uint32_t elapseMs);

// KillTimer: stops the timer and removes a WM_TIMER of it that waits in the queue.
bool killTimer(HWND hwnd, uintptr_t id);

}  // namespace ce
