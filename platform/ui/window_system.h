#pragma once
// The window system of one process (internal): the records behind window handles, handle
// allocation, and the link to the head unit's desktop.
//
// A record holds everything about a window that other threads may read (title, rectangle,
// state, the range of a progress bar): those fields change only under the system's mutex. Its
// surface and composed image are touched only on the window's own thread. The object
// (ce::Window) is the program's; the record points at it for dispatching on the owner thread.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gfx/font.h"
#include "platform/gfx/surface.h"
#include "platform/ui/desktop_link.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/shared_pixels.h"
#include "platform/ui/window.h"
#include "platform/ui/window_index.h"

namespace ce {

struct WindowRecord {
    HWND hwnd = 0;
    Window* object = nullptr;
    std::shared_ptr<MessageQueue> queue;
    HWND parent = 0;
    std::vector<HWND> children;  // z-order among siblings, front first
    std::string className;
    std::string title;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    Rect rect;  // screen coordinates (top-level) or parent-client coordinates (child)
    int id = 0;
    HFONT font;
    bool hasRange = false;
    int rangeMin = 0;
    int rangeMax = 0;
    int pos = 0;
    bool destroying = false;

    Rect invalid;       // client coordinates; empty = valid
    bool erase = false;
    Rect composePending;  // client coordinates of a top-level window, composed by its thread

    // Owner thread only.
    Surface surface;
    std::unique_ptr<SharedPixels> composed;  // top-level windows: the image the screen shows

    bool visibleStyle() const { return (style & WS_VISIBLE) != 0; }
    bool enabledStyle() const { return (style & WS_DISABLED) == 0; }
    bool topLevel() const { return parent == 0; }
};

using RecordPtr = std::shared_ptr<WindowRecord>;

class WindowSystem {
public:
    static WindowSystem& instance();

    std::mutex& mutex() { return mutex_; }

    // Records (find locks; findLocked expects the caller to hold mutex()).
    RecordPtr find(HWND hwnd);
    RecordPtr findLocked(HWND hwnd) const;
    void add(const RecordPtr& record);
    void remove(HWND hwnd);
    std::vector<RecordPtr> recordsOf(const std::shared_ptr<MessageQueue>& queue);
    bool isDescendant(HWND hwnd, HWND ancestor);
    HWND topLevelOf(HWND hwnd);
    // Offset of the window's client area inside its top-level window's client area, and
    // whether the window and all its ancestors are visible.
    Point offsetInTopLevel(HWND hwnd);
    bool visibleChain(HWND hwnd);

    HWND allocateHandle();

    // The desktop this process belongs to.
    WindowIndex& index();
    DesktopLink* link();  // nullptr for a private desktop
    bool sharedDesktop();
    std::string desktopFolder();
    void ensureListening();

    // Writes a top-level window's entry (title, rectangle, state) into the index; the entry is
    // created at the front of its band when missing.
    void publish(HWND hwnd);
    void unpublish(HWND hwnd);

    // Per-process pen capture and focus (read by the threads that answer other processes).
    std::atomic<HWND> capture{0};
    std::atomic<HWND> focus{0};

private:
    WindowSystem() = default;
    void bindDesktop();

    std::mutex mutex_;
    std::unordered_map<HWND, RecordPtr> records_;
    std::mutex handleMutex_;
    uint32_t blockBase_ = 0;
    uint32_t blockUsed_ = HANDLE_BLOCK_SIZE;

    std::once_flag desktopOnce_;
    std::unique_ptr<WindowIndex> index_;
    std::unique_ptr<DesktopLink> link_;
    std::string folder_;
    std::mutex listenMutex_;
};

// Runs fn on the window's own thread (directly when that is the calling thread, else through a
// sent message) and returns its result; 0 when the window does not exist in this process.
LRESULT onWindowThread(HWND hwnd, const std::function<LRESULT()>& fn);

// Composes what other threads asked to compose for the calling thread's windows.
void flushComposition(const std::shared_ptr<MessageQueue>& queue);

// Dispatches a message to a window of the calling thread (its windowProc). 0 when the window
// is gone or belongs to another thread.
LRESULT callWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Messages whose parameters point into the sender's memory (never posted, never sent to
// another process except WM_COPYDATA, whose bytes are copied).
bool messageCarriesPointers(UINT msg);

// Handles the sent messages waiting in the calling thread's queue.
void processSentMessages();

// Answers a request from another process (desktop.cpp).
Reply answerRequest(const Request& request);

// Composes (part of) a window's pixels into its top-level window's image; rect in the
// window's client coordinates, nullptr for all of it (paint.cpp).
void composeWindow(HWND hwnd, const Rect* rect);
// The same for a rectangle of a top-level window's client area.
void composeTopLevel(HWND topLevel, const Rect& rect);

// Routes injected input that arrived for a top-level window of this process (desktop.cpp).
Error routeInput(HWND topLevel, UINT msg, WPARAM wParam, Point screen);

// A stable hash of the head unit folder, for socket and shared-memory names.
std::string desktopHash(const std::string& folder);

}  // namespace ce
