#pragma once
// Window-system types and message numbers shared by every program and by the platform.
//
// Handles are 32-bit numbers unique on the head unit's desktop, so they can travel between
// processes (a window handle in a registry value, in a message parameter).

#include <cstdint>

namespace ce {

using HWND = uint32_t;
using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

inline constexpr HWND HWND_NULL = 0;
inline constexpr HWND HWND_BROADCAST = 0xFFFF;

// Message numbers the programs use.
enum : UINT {
    WM_NULL = 0x0000,
    WM_CREATE = 0x0001,
    WM_DESTROY = 0x0002,
    WM_MOVE = 0x0003,
    WM_SIZE = 0x0005,
    WM_ACTIVATE = 0x0006,
    WM_SETFOCUS = 0x0007,
    WM_KILLFOCUS = 0x0008,
    WM_ENABLE = 0x000A,
    WM_SETTEXT = 0x000C,
    WM_GETTEXT = 0x000D,
    WM_GETTEXTLENGTH = 0x000E,
    WM_PAINT = 0x000F,
    WM_CLOSE = 0x0010,
    WM_QUIT = 0x0012,
    WM_ERASEBKGND = 0x0014,
    WM_SHOWWINDOW = 0x0018,
    WM_SETCURSOR = 0x0020,
    WM_SETFONT = 0x0030,
    WM_GETFONT = 0x0031,
    WM_COPYDATA = 0x004A,
    WM_NOTIFY = 0x004E,
    WM_SETICON = 0x0080,
    WM_KEYDOWN = 0x0100,
    WM_KEYUP = 0x0101,
    WM_CHAR = 0x0102,
    WM_INITDIALOG = 0x0110,
    WM_COMMAND = 0x0111,
    WM_SYSCOMMAND = 0x0112,
    WM_TIMER = 0x0113,
    WM_CTLCOLORSTATIC = 0x0138,
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONUP = 0x0202,
    WM_LBUTTONDBLCLK = 0x0203,
    WM_MOUSEMOVE = 0x0200,
    WM_CAPTURECHANGED = 0x0215,
    WM_DEVICECHANGE = 0x0219,
    WM_USER = 0x0400,
    WM_APP = 0x8000,
};

// Button messages, notifications and dialog results.
enum : UINT {
    BM_GETSTATE = 0x00F2,
    BM_SETSTATE = 0x00F3,
    BM_CLICK = 0x00F5,
};
enum : UINT { BN_CLICKED = 0 };
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3 };
enum : UINT { BST_PUSHED = 0x0004 };

// Registered messages (registerWindowMessage) take their numbers from this range.
inline constexpr UINT REGISTERED_MESSAGE_FIRST = 0xC000;
inline constexpr UINT REGISTERED_MESSAGE_LAST = 0xFFFF;

// Progress bar messages.
enum : UINT {
    PBM_SETRANGE = WM_USER + 1,
    PBM_SETPOS = WM_USER + 2,
    PBM_DELTAPOS = WM_USER + 3,
    PBM_SETSTEP = WM_USER + 4,
    PBM_STEPIT = WM_USER + 5,
    PBM_SETRANGE32 = WM_USER + 6,
    PBM_GETRANGE = WM_USER + 7,
    PBM_GETPOS = WM_USER + 8,
};

// WM_NOTIFY code of custom drawing.
inline constexpr int NM_CUSTOMDRAW = -12;

// Window styles.
enum : uint32_t {
    WS_POPUP = 0x80000000,
    WS_CHILD = 0x40000000,
    WS_VISIBLE = 0x10000000,
    WS_DISABLED = 0x08000000,
    WS_CAPTION = 0x00C00000,
    WS_BORDER = 0x00800000,
    WS_GROUP = 0x00020000,
    WS_TABSTOP = 0x00010000,
    WS_EX_TOPMOST = 0x00000008,
};

// Control styles: static (SS_), edit (ES_), button (BS_) and dialog (DS_).
enum : uint32_t {
    SS_LEFT = 0x0,
    SS_CENTER = 0x1,
    SS_RIGHT = 0x2,
    SS_NOTIFY = 0x100,
    SS_CENTERIMAGE = 0x200,
    ES_LEFT = 0x0,
    ES_CENTER = 0x1,
    ES_RIGHT = 0x2,
    ES_MULTILINE = 0x4,
    ES_READONLY = 0x800,
    BS_PUSHBUTTON = 0x0,
    BS_DEFPUSHBUTTON = 0x1,
    DS_SETFONT = 0x40,
    DS_SETFOREGROUND = 0x200,
};

// Window class names of the standard controls, as dialog templates name them.
inline constexpr const char* WC_BUTTON = "BUTTON";
inline constexpr const char* WC_EDIT = "EDIT";
inline constexpr const char* WC_STATIC = "STATIC";
inline constexpr const char* WC_PROGRESS = "msctls_progress32";
inline constexpr const char* WC_DIALOG = "#32770";

// showWindow commands.
enum : int { SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOW = 5, SW_SHOWNA = 8 };

// setWindowPos: special insert-after handles and flags.
inline constexpr HWND HWND_TOP = 0;
inline constexpr HWND HWND_BOTTOM = 1;
inline constexpr HWND HWND_TOPMOST = 0xFFFFFFFF;
inline constexpr HWND HWND_NOTOPMOST = 0xFFFFFFFE;
enum : UINT {
    SWP_NOSIZE = 0x0001,
    SWP_NOMOVE = 0x0002,
    SWP_NOZORDER = 0x0004,
    SWP_NOREDRAW = 0x0008,
    SWP_NOACTIVATE = 0x0010,
    SWP_SHOWWINDOW = 0x0040,
    SWP_HIDEWINDOW = 0x0080,
    SWP_NOOWNERZORDER = 0x0200,
};

// getSystemMetrics indices.
enum : int { SM_CXSCREEN = 0, SM_CYSCREEN = 1 };

// peekMessage flags.
enum : UINT { PM_NOREMOVE = 0x0, PM_REMOVE = 0x1 };

// Mouse-key state in pen messages; the pen is the left button.
enum : WPARAM { MK_LBUTTON = 0x1 };

// Virtual-key codes of the keys the programs name (WM_KEYDOWN's wParam).
enum : UINT {
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_PRIOR = 0x21,
    VK_NEXT = 0x22,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
};

// messageBox types and results.
enum : UINT { MB_OK = 0x0, MB_ICONERROR = 0x10, MB_ICONINFORMATION = 0x40 };

// A message as the queue hands it out (MSG).
struct Msg {
    HWND hwnd = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    uint32_t time = 0;  // tick count when it was queued
    int ptX = 0;        // pen position (screen) for pen messages
    int ptY = 0;
};

// WM_COPYDATA's lParam points at one of these. Across processes the bytes are copied to the
// receiver; they are valid only while its handler runs.
struct CopyDataStruct {
    uintptr_t dwData = 0;
    uint32_t cbData = 0;
    const void* lpData = nullptr;
};

// The most bytes WM_COPYDATA carries to another process (1 MiB); a longer block is refused
// with ERROR_INVALID_PARAMETER before anything is sent, and a receiver refuses a frame that
// announces more before it allocates a byte.
inline constexpr uint32_t COPYDATA_MAX_BYTES = 1u << 20;

struct Point {
    int x = 0;
    int y = 0;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    bool empty() const { return right <= left || bottom <= top; }
    Rect offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    Rect intersect(const Rect& o) const;
    Rect unite(const Rect& o) const;
    bool operator==(const Rect&) const = default;
};

inline Rect Rect::intersect(const Rect& o) const {
    Rect r{left > o.left ? left : o.left, top > o.top ? top : o.top, right < o.right ? right : o.right,
           bottom < o.bottom ? bottom : o.bottom};
    if (r.empty()) return {};
    return r;
}
inline Rect Rect::unite(const Rect& o) const {
    if (empty()) return o;
    if (o.empty()) return *this;
    return {left < o.left ? left : o.left, top < o.top ? top : o.top, right > o.right ? right : o.right,
            bottom > o.bottom ? bottom : o.bottom};
}

inline constexpr WPARAM makeWParam(unsigned low, unsigned high) {
    return static_cast<WPARAM>((low & 0xFFFF) | ((high & 0xFFFF) << 16));
}
inline constexpr LPARAM makeLParam(unsigned low, unsigned high) {
    return static_cast<LPARAM>(static_cast<uint32_t>((low & 0xFFFF) | ((high & 0xFFFF) << 16)));
}
inline constexpr unsigned loWord(uintptr_t v) { return v & 0xFFFF; }
inline constexpr unsigned hiWord(uintptr_t v) { return (v >> 16) & 0xFFFF; }

}  // namespace ce
