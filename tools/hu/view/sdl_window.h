#pragma once
// SdlWindow: a window on the host's desktop that shows a picture of the head unit's screen,
// magnified by a whole factor, and hands over what the mouse and the keyboard do in it. SDL
// stays inside this file pair; the rest of `hu view` sees pictures and input.

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "platform/gfx/surface.h"

namespace hu::view {

struct PenInput {
    enum Kind { Down, DoubleDown, Up, Move /* with the button held */ } kind;
    int x, y;  // in screen pixels of the head unit (the window's point divided by the scale)
};
struct KeyInput {
    uint32_t virtualKey;
    bool down;
};
struct Wake {};  // wake() was called
struct Redraw {};  // the host lost the window's picture (exposed, restored)
struct Quit {};
using Input = std::variant<PenInput, KeyInput, Wake, Redraw, Quit>;

class SdlWindow {
public:
    // Opens a window of width x height screen pixels times scale. On failure (no display, no
    // video driver) gives nothing and sets `error` to one line.
    static std::unique_ptr<SdlWindow> open(const std::string& title, int width, int height, int scale, std::string& error);
    ~SdlWindow();
    SdlWindow(const SdlWindow&) = delete;
    SdlWindow& operator=(const SdlWindow&) = delete;

    void setTitle(const std::string& title);
    // Shows the picture (0x00RRGGBB pixels of the head unit's screen size).
    void show(const ce::Surface& screen);
    // Shows the last picture again.
    void showAgain();
    // Waits for the next input; blocks without using the processor.
    Input next();
    // From any thread: makes next() return Wake (once, however often it is called meanwhile).
    void wake();
    // The host's identifier of the window (an X window id), for tests and tools.
    uint64_t nativeId() const;

private:
    SdlWindow() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The head unit's virtual-key code of a key on the host's keyboard; 0 when it has none.
uint32_t virtualKeyOf(int32_t sdlKeycode);

}  // namespace hu::view
