#pragma once
// Windows: the object a program derives from, and the handle-based calls that act on any window.
//
// A ce::Window is a program's own window class. It exists as an object first; create() makes
// the window on the calling thread, which from then on is the window's UI thread (its messages
// are handled there and only there). A window has a 32-bit handle unique on the head unit's
// desktop, a title, a class name, a rectangle (screen coordinates for a top-level window,
// parent-client coordinates for a child), visible/enabled/topmost state, a parent and children,
// and its own retained pixel surface. What it shows on the screen is that surface with its
// visible children composed on top (the screen itself is the composition of the visible
// top-level windows in z-order).
//
// Handlers form the window's message map: on(msg, handler) registers one by message number,
// explicitly, usually in the constructor; onCommand(id, handler) one for BN_CLICKED of a child
// control. windowProc() looks up the map and falls back to defaultProc(), the platform's
// default handling (WM_PAINT paints through paint(), WM_CLOSE destroys, WM_SETTEXT stores the
// text, ...). A class may override windowProc() to see every message first.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/error.h"
#include "platform/gfx/dc.h"
#include "platform/gfx/font.h"
#include "platform/gfx/surface.h"
#include "platform/ui/types.h"

namespace ce {

// What create() needs (CreateWindowEx's arguments).
struct WindowSpec {
    std::string className;  // "BUTTON", "#32770", a program's own name
    std::string title;
    uint32_t style = 0;     // WS_CHILD, WS_VISIBLE, control styles
    uint32_t exStyle = 0;   // WS_EX_TOPMOST
    Rect rect;              // screen (top-level) or parent-client (child) coordinates
    HWND parent = 0;        // 0 for a top-level window
    int id = 0;             // control id of a child
};

// State of a control as tools see it (hu ctl list, tests).
struct ControlState {
    HWND hwnd = 0;
    HWND parent = 0;
    int id = 0;
    std::string className;
    std::string text;
    Rect rect;               // in the parent's client coordinates
    bool visible = false;
    bool enabled = false;
    bool hasRange = false;   // progress bars: range and position
    int rangeMin = 0;
    int rangeMax = 0;
    int pos = 0;
};

class Window {
public:
    using Handler = std::function<LRESULT(WPARAM, LPARAM)>;

    Window();
    virtual ~Window();  // destroys the window if it still exists
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // CreateWindowEx. Sends WM_CREATE; a top-level window appears on the desktop (at the top
    // of its z-order band). ERROR_ALREADY_EXISTS when the object already has a window,
    // ERROR_INVALID_HANDLE for a parent that does not exist or lives on another thread.
    Error create(const WindowSpec& params);
    // DestroyWindow: WM_DESTROY to the window and its children, timers stopped, handle gone.
    void destroy();

    HWND hwnd() const { return hwnd_; }
    bool exists() const { return hwnd_ != 0; }
    int id() const;

    // Message map.
    void on(UINT msg, Handler handler);
    void onCommand(int controlId, std::function<void()> handler);  // WM_COMMAND/BN_CLICKED

    // Every message of the window passes here (on the window's thread).
    virtual LRESULT windowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // The platform's default handling of a message.
    virtual LRESULT defaultProc(UINT msg, WPARAM wParam, LPARAM lParam);

    // Draws the window's content (WM_PAINT's default handling). dc covers the client area.
    // The default fills it with the window's background colour.
    virtual void paint(Dc& dc);

    // The window's retained pixels (client area); empty before create().
    Surface& surface();

    // Background colour that WM_ERASEBKGND and the default paint use.
    void setBackground(COLORREF color) { background_ = color; }
    COLORREF background() const { return background_; }

    // The font the window draws its text with (WM_SETFONT / WM_GETFONT); the system font
    // until one is set. A dialog gives every control the dialog font.
    void setFont(HFONT font, bool redraw = false);
    HFONT font() const;

    // Text of the window (the same as getWindowText(hwnd())).
    std::string text() const;

protected:
    // Controls with a range (progress bars) publish it here so tools can read it from any thread.
    void publishRange(int min, int max, int pos);

private:
    friend class WindowSystem;
    HWND hwnd_ = 0;
    COLORREF background_ = RGB(0xF0, 0xF0, 0xF0);
    std::map<UINT, Handler> handlers_;
    std::map<int, std::function<void()>> commands_;
};

// ---- Calls on any window, by handle (Win32 names) --------------------------------------------
// A handle of another process works where the desktop can answer from its window index (title,
// rectangle, visibility, messages); calls that need the window object act on this process's
// windows only and fail (false / empty) otherwise.

bool isWindow(HWND hwnd);
Window* windowFromHandle(HWND hwnd);  // this process's object, or nullptr
bool destroyWindow(HWND hwnd);

// FindWindow without a class: the first top-level window of the desktop, in z-order, whose
// title equals the given one exactly; 0 when none. A non-empty className must match too.
HWND findWindow(std::string_view className, std::string_view title);
inline HWND findWindow(std::string_view title) { return findWindow({}, title); }

// The topmost top-level window of a process started from the given program path (a device path
// as ce::modulePath() gives it; compared without regard to case). 0 when none.
HWND findProgramWindow(std::string_view programPath);

bool setWindowText(HWND hwnd, std::string_view text);  // sends WM_SETTEXT
std::string getWindowText(HWND hwnd);

HWND getDlgItem(HWND dialog, int id);
int getDlgCtrlID(HWND hwnd);
HWND getParent(HWND hwnd);

bool showWindow(HWND hwnd, int cmd);  // SW_HIDE, SW_SHOW...; returns whether it was visible
bool isWindowVisible(HWND hwnd);      // WS_VISIBLE on it and every ancestor
bool enableWindow(HWND hwnd, bool enable);  // returns whether it was disabled
bool isWindowEnabled(HWND hwnd);

// SetWindowPos: insertAfter is HWND_TOP, HWND_BOTTOM, HWND_TOPMOST, HWND_NOTOPMOST or a sibling
// (the window goes below it); SWP_ flags as on the device.
bool setWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
bool moveWindow(HWND hwnd, int x, int y, int cx, int cy, bool repaint);
bool bringWindowToTop(HWND hwnd);
bool getWindowRect(HWND hwnd, Rect* rect);  // screen coordinates
bool getClientRect(HWND hwnd, Rect* rect);  // 0, 0, width, height
Point clientToScreen(HWND hwnd, Point p);

// Foreground window of the desktop: setForegroundWindow also brings it to the front.
bool setForegroundWindow(HWND hwnd);
HWND getForegroundWindow();

// Painting: invalidateRect marks (a part of) the window for WM_PAINT (rect null = all);
// updateWindow handles a pending WM_PAINT at once instead of waiting for the queue.
bool invalidateRect(HWND hwnd, const Rect* rect, bool erase);
bool updateWindow(HWND hwnd);

// Pen capture: pen messages go to this window until released, wherever the pen is.
HWND setCapture(HWND hwnd);
bool releaseCapture();
HWND getCapture();

HWND setFocus(HWND hwnd);
HWND getFocus();

// SM_CXSCREEN / SM_CYSCREEN: the screen size from the head unit's profile (800 x 480 by default).
int getSystemMetrics(int index);

}  // namespace ce
