#pragma once
// Device contexts over a window: BeginPaint/EndPaint and GetDC/ReleaseDC.
//
// Both draw into the window's retained surface (client coordinates, clipped to the client
// area). When the object goes out of scope the drawn pixels are composed into the top-level
// window's image, so they are on the screen at once (and in a screen capture), whether or not
// the thread gets back to its message loop.

#include <memory>

#include "platform/ui/types.h"

namespace ce {

class Dc;
class Window;

// BeginPaint/EndPaint, inside a WM_PAINT handler: sends WM_ERASEBKGND first when the window
// was invalidated with erase, and validates the window at the end.
class PaintDc {
public:
    explicit PaintDc(Window& window);
    explicit PaintDc(HWND hwnd);
    ~PaintDc();
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;

    bool ok() const { return dc_ != nullptr; }
    Dc& dc() { return *dc_; }
    Dc* operator->() { return dc_.get(); }
    operator Dc&() { return *dc_; }
    Rect updateRect() const { return update_; }

private:
    HWND hwnd_ = 0;
    Rect update_;
    std::unique_ptr<Dc> dc_;
};

// GetDC/ReleaseDC: drawing outside WM_PAINT that shows at once (a status line drawn while a
// long copy runs).
class ClientDc {
public:
    explicit ClientDc(HWND hwnd);
    ~ClientDc();
    ClientDc(const ClientDc&) = delete;
    ClientDc& operator=(const ClientDc&) = delete;

    bool ok() const { return dc_ != nullptr; }
    Dc& dc() { return *dc_; }
    Dc* operator->() { return dc_.get(); }
    operator Dc&() { return *dc_; }

private:
    HWND hwnd_ = 0;
    std::unique_ptr<Dc> dc_;
};

}  // namespace ce
