#pragma once
// The head unit's desktop as tools and tests see it: every top-level window of every process,
// the state of their controls, the screen's pixels, and injected input.
//
// The desktop lives in the head unit's run/ folder (see DESIGN.md): a window index shared by
// every process (handle, pid, program, title, class, rectangle, z-order, visibility, topmost),
// each process's message socket, the registered-message atoms, and the pixels of every
// top-level window in shared memory. A process outside a head unit (no profile) has a private
// desktop of its own, with the same behaviour inside the process.

#include <filesystem>
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
// deepest visible child under it. A disabled target swallows the input.
enum class PenAction { Down, Up, DoubleTap, Tap /* down then up */ };
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

// Removes the window images (the shared pixels of top-level windows) of the head unit at root
// that no live process owns any more; returns how many. Every process also sweeps the images
// of dead processes of any head unit when it first joins a desktop, so images of killed
// programs, and of head units that were deleted, do not pile up in /dev/shm.
int removeStaleWindowImages(const std::filesystem::path& root);

}  // namespace ce
