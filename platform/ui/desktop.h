#pragma once
// The head unit's desktop as tools and tests see it: every top-level window of every process,
// the state of their controls, the screen's pixels, and injected input.
//
// The desktop lives in the head unit's run/desktop/ folder (see DESIGN.md), private to the
// user that runs the head unit: a window index shared by every process (handle, pid, program,
// title, class, rectangle, z-order, visibility, topmost) and the registered-message atoms.
// Each process answers the others on a socket of its own, only when they run as the same user
// (or root); the pixels of each top-level window are in a memory file without a name that its
// owner hands to such a process on request, so a window image can be neither read nor replaced
// by another user and disappears with its program, however that ends. A process outside a head
// unit (no profile) has a private desktop of its own, with the same behaviour inside the process.

#include <memory>
#include <string>
#include <vector>

#include "platform/core/error.h"
#include "platform/ui/types.h"
#include "platform/ui/window.h"

namespace ce {

class Surface;

struct TopLevelWindow {
    HWND hwnd = 0;
    int pid = 0;
    std::string program;  // device path of the program that created it
    std::string title;
    std::string className;
    Rect rect;
    bool visible = false;
    bool topmost = false;
};

// The top-level windows of the desktop, topmost first. Entries of dead processes are dropped.
std::vector<TopLevelWindow> enumTopLevelWindows();

// A window and its controls: the window itself first, then its descendants depth first. Asked
// of the process that owns the window; answered even while that process's UI thread is busy.
Result<std::vector<ControlState>> describeControls(HWND topLevel);

// Input injected as on the touch screen: the point (screen coordinates) goes to the topmost
// visible top-level window under it (or the window holding the pen capture), then to the
// deepest visible child under it. A disabled target swallows the input. A double tap is down,
// up, double-down, up; DoubleDown is its third part alone, for a pen (a mouse) that reports
// the second touch itself. The window that took the pen down keeps it until the pen is
// lifted: moves of the pen held down (Move) and the lift go to it wherever the point is now,
// unless a window holds the capture. A Move with the pen up goes nowhere.
enum class PenAction { Down, Up, DoubleTap, Tap /* down then up */, DoubleDown, Move };
Error injectPen(Point screen, PenAction action);
// A key goes to the focused window of the foreground window (the foreground window itself when
// none of its children has the focus).
Error injectKey(UINT virtualKey, bool down);

// The screen (visible top-level windows composed in z-order onto a black screen of the
// profile's size) or one top-level window, as it shows now.
Result<std::unique_ptr<Surface>> captureScreen();
Result<std::unique_ptr<Surface>> captureWindow(HWND topLevel);

// The folder of this process's desktop (the profile's run/ folder), empty for a private one.
std::string desktopFolder();

}  // namespace ce
