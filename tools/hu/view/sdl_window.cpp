#include "tools/hu/view/sdl_window.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <atomic>

namespace hu::view {

struct SdlWindow::Impl {
    SDL_Window* window = nullptr;
    int scale = 1;
    uint32_t wakeEvent = 0;
    std::atomic<bool> wakePending{false};
    ce::Surface last{0, 0};
    int penX = -1, penY = -1;  // the pen's last point, in screen pixels

    ~Impl() {
        if (window) SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
    }
};

std::unique_ptr<SdlWindow> SdlWindow::open(const std::string& title, int width, int height, int scale, std::string& error) {
    // The view has no sound and needs no screen saver held off.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // Pixels go straight to the display server (shared memory on X11): no OpenGL context, and
    // no second window that SDL would make to get one.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        error = std::string("no display to open a window on (") + SDL_GetError() + ")";
        return nullptr;
    }
    std::unique_ptr<SdlWindow> w(new SdlWindow);
    w->impl_ = std::make_unique<Impl>();
    w->impl_->scale = scale;
    w->impl_->window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width * scale,
                                        height * scale, SDL_WINDOW_SHOWN);
    if (!w->impl_->window) {
        error = std::string("cannot open a window (") + SDL_GetError() + ")";
        return nullptr;
    }
    w->impl_->wakeEvent = SDL_RegisterEvents(1);
    w->impl_->last = ce::Surface(width, height, 0);
    return w;
}

SdlWindow::~SdlWindow() = default;

void SdlWindow::setTitle(const std::string& title) { SDL_SetWindowTitle(impl_->window, title.c_str()); }

void SdlWindow::show(const ce::Surface& screen) {
    impl_->last = ce::Surface(screen.width(), screen.height(), 0);
    for (int y = 0; y < screen.height(); ++y)
        std::copy(screen.row(y), screen.row(y) + screen.width(), impl_->last.row(y));
    showAgain();
}

void SdlWindow::showAgain() {
    ce::Surface& picture = impl_->last;
    SDL_Surface* target = SDL_GetWindowSurface(impl_->window);
    if (!target || picture.empty()) return;
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(picture.row(0), picture.width(), picture.height(), 32,
                                                             picture.stride() * 4, SDL_PIXELFORMAT_RGB888);
    if (!source) return;
    SDL_Rect whole{0, 0, picture.width() * impl_->scale, picture.height() * impl_->scale};
    // Nearest neighbour: every screen pixel becomes a square of scale x scale.
    if (impl_->scale == 1) SDL_BlitSurface(source, nullptr, target, nullptr);
    else SDL_BlitScaled(source, nullptr, target, &whole);
    SDL_FreeSurface(source);
    SDL_UpdateWindowSurface(impl_->window);
}

namespace {

// A window point in screen pixels; a point left of or above the window (the button held
// while the mouse left it) stays outside the screen.
int screenPixel(int windowPixel, int scale) {
    return windowPixel >= 0 ? windowPixel / scale : -((-windowPixel + scale - 1) / scale);
}

}  // namespace

Input SdlWindow::next() {
    for (;;) {
        SDL_Event e;
        if (!SDL_WaitEvent(&e)) return Quit{};
        const int scale = impl_->scale;
        auto pen = [&](PenInput::Kind kind, int x, int y) {
            impl_->penX = screenPixel(x, scale);
            impl_->penY = screenPixel(y, scale);
            return PenInput{kind, impl_->penX, impl_->penY};
        };
        if (e.type == impl_->wakeEvent) {
            impl_->wakePending = false;
            return Wake{};
        }
        switch (e.type) {
            case SDL_QUIT: return Quit{};
            case SDL_WINDOWEVENT:
                if (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_RESTORED ||
                    e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
                    return Redraw{};
                break;
            case SDL_MOUSEBUTTONDOWN:
                if (e.button.button != SDL_BUTTON_LEFT) break;
                return pen(e.button.clicks >= 2 ? PenInput::DoubleDown : PenInput::Down, e.button.x, e.button.y);
            case SDL_MOUSEBUTTONUP:
                if (e.button.button != SDL_BUTTON_LEFT) break;
                return pen(PenInput::Up, e.button.x, e.button.y);
            case SDL_MOUSEMOTION: {
                if (!(e.motion.state & SDL_BUTTON_LMASK)) break;  // a pen that is up does not move
                // Only where the mouse is now matters: motions already queued behind this one
                // are taken together (never past a press or a release, which stay in order).
                SDL_PumpEvents();
                SDL_Event later;
                while (SDL_PeepEvents(&later, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1 &&
                       later.type == SDL_MOUSEMOTION && (later.motion.state & SDL_BUTTON_LMASK)) {
                    SDL_PeepEvents(&later, 1, SDL_GETEVENT, SDL_MOUSEMOTION, SDL_MOUSEMOTION);
                    e = later;
                }
                if (screenPixel(e.motion.x, scale) == impl_->penX && screenPixel(e.motion.y, scale) == impl_->penY)
                    break;  // still within the same screen pixel
                return pen(PenInput::Move, e.motion.x, e.motion.y);
            }
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                if (uint32_t vk = virtualKeyOf(e.key.keysym.sym)) return KeyInput{vk, e.type == SDL_KEYDOWN};
                break;
            default: break;
        }
    }
}

void SdlWindow::wake() {
    if (impl_->wakePending.exchange(true)) return;
    SDL_Event e{};
    e.type = impl_->wakeEvent;
    if (SDL_PushEvent(&e) != 1) impl_->wakePending = false;
}

uint64_t SdlWindow::nativeId() const {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(impl_->window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
    return static_cast<uint64_t>(info.info.x11.window);
}

uint32_t virtualKeyOf(int32_t key) {
    if (key >= SDLK_a && key <= SDLK_z) return static_cast<uint32_t>('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9) return static_cast<uint32_t>('0' + (key - SDLK_0));
    if (key >= SDLK_F1 && key <= SDLK_F12) return static_cast<uint32_t>(0x70 + (key - SDLK_F1));
    switch (key) {
        case SDLK_BACKSPACE: return 0x08;
        case SDLK_TAB: return 0x09;
        case SDLK_RETURN: case SDLK_KP_ENTER: return 0x0D;
        case SDLK_ESCAPE: return 0x1B;
        case SDLK_SPACE: return 0x20;
        case SDLK_PAGEUP: return 0x21;
        case SDLK_PAGEDOWN: return 0x22;
        case SDLK_END: return 0x23;
        case SDLK_HOME: return 0x24;
        case SDLK_LEFT: return 0x25;
        case SDLK_UP: return 0x26;
        case SDLK_RIGHT: return 0x27;
        case SDLK_DOWN: return 0x28;
        case SDLK_INSERT: return 0x2D;
        case SDLK_DELETE: return 0x2E;
        default: return 0;
    }
}

}  // namespace hu::view
