#pragma once
// Helpers of the panel's tests: one head unit per test binary (a process joins one desktop for
// its life), purpose-made bitmaps that make a wrong draw visible (solid colours, key-colour
// blocks, backgrounds whose every pixel tells its own position), a message pump, and a
// top-level window that records what the panels post to it.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/gfx/surface.h"
#include "platform/ui/window.h"
#include "sim/headunit/headunit.h"

namespace panel::testing {

// The head unit of this test binary, made on first use and removed at the end of the run.
sim::TempHeadUnit& HeadUnit();
std::filesystem::path ImageFolder();  // nand/ZEK/Kelo_ZEK_IMG on the host

// A background whose pixel at x, y is unique for the picture and the salt (x and y below 1024).
uint32_t PositionPixel(int x, int y, int salt);
ce::Surface PositionCoded(int width, int height, int salt);
ce::Surface Solid(int width, int height, uint32_t pixel);
// An icon of one colour with a block of the key pixel in its top-left quarter.
ce::Surface KeyedIcon(int width, int height, uint32_t pixel, uint32_t keyPixel);

void WriteBitmap(const std::filesystem::path& file, const ce::Surface& picture);

// Pixels of the test images of InstallTestImages.
inline constexpr int kHorizontalSalt = 1;
inline constexpr int kVerticalSalt = 2;
inline constexpr uint32_t kTurnKeyPixel = 0x000C00;  // the turn icons' key colour as a pixel
inline constexpr uint32_t kButtonKeyPixel = 0x808080;
uint32_t IconPixel(int imageId);  // the solid colour of image id 2..75
// All 76 files: position-coded backgrounds (800 x 150, 250 x 480), 80 x 70 icons of a colour
// per id with a key block (key colour 0x000C00), 57 x 60 button images with a key block of
// 0x808080. `skip` names files to leave out.
void InstallTestImages(const std::vector<std::string>& skip = {});
void RemoveTestImages();

// Handles the messages of this thread for about ms milliseconds (at least once).
void PumpFor(uint32_t ms);
// Pumps until the condition holds or timeoutMs passes; returns the condition.
bool PumpUntil(const std::function<bool()>& condition, uint32_t timeoutMs);

// A visible top-level window that records every message from WM_USER on that reaches it.
class RecordingOwner : public ce::Window {
public:
    struct Posted {
        ce::UINT msg;
        ce::WPARAM wParam;
        ce::LPARAM lParam;
    };
    explicit RecordingOwner(ce::Rect rect = {0, 0, 800, 480});
    ce::LRESULT windowProc(ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam) override;
    std::vector<Posted> messages;
    std::vector<Posted> Of(ce::UINT msg) const;
};

// Pixels of a window or of the screen as the desktop composes them.
ce::Surface CaptureWindow(ce::HWND topLevel);
ce::Surface CaptureScreen();

// Where two pictures differ inside a rectangle: "" when they agree, else the first pixel.
std::string CompareArea(const ce::Surface& actual, ce::Point actualAt, const ce::Surface& expected, ce::Point expectedAt,
                        int width, int height);
// Count of pixels of a colour inside a rectangle.
int CountPixels(const ce::Surface& picture, const ce::Rect& area, uint32_t pixel);

}  // namespace panel::testing
