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
    WM_DEVICECHANGE = 0x0219,
    WM_USER = 0x0400,
    WM_APP = 0x8000,
};

// Button notifications and dialog results.
enum : UINT { BN_CLICKED = 0 };
enum : int { IDOK = 1, IDCANCEL = 2 };

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
};

inline constexpr WPARAM makeWParam(unsigned low, unsigned high) {
    return static_cast<WPARAM>((low & 0xFFFF) | ((high & 0xFFFF) << 16));
}
inline constexpr LPARAM makeLParam(unsigned low, unsigned high) {
    return static_cast<LPARAM>(static_cast<uint32_t>((low & 0xFFFF) | ((high & 0xFFFF) << 16)));
}
inline constexpr unsigned loWord(uintptr_t v) { return v & 0xFFFF; }
inline constexpr unsigned hiWord(uintptr_t v) { return (v >> 16) & 0xFFFF; }

}  // namespace ce
