#pragma once
// A CBrowserWnd of 800 x 150 on a recording owner window at the screen's top-left corner, drawn
// from the test images (background: the position-coded horizontal one), with every message
// of its layout set to a number of its own.

#include <gtest/gtest.h>

#include <memory>

#include "panel/browser/browser_wnd.h"
#include "panel/images/image_store.h"
#include "panel/tests/test_support.h"
#include "platform/ui/desktop.h"
#include "platform/ui/message.h"

namespace panel::testing {

enum : ce::UINT {
    MSG_PRESS = 0x500,
    MSG_RELEASE,
    MSG_LIST_SELECT,
    MSG_LIST_SCROLL,
    MSG_PRESS_OUTSIDE,
    MSG_RELEASE_OUTSIDE,
    MSG_UNUSED,
    MSG_SCROLL_POSITION,
};

// Extra pictures: a 20 x 30 thumb (id 63) and a 20 x 90 track (id 64) for the scroll bar.
inline constexpr int kThumbImage = 63;
inline constexpr int kTrackImage = 64;
inline constexpr uint32_t kThumbPixel = 0xFF00FF;
inline constexpr uint32_t kTrackPixel = 0x203040;

class BrowserTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        HeadUnit();
        InstallTestImages();
        WriteBitmap(ImageFolder() / "kelo_zek_icon_151_164.bmp", Solid(20, 30, kThumbPixel));
        WriteBitmap(ImageFolder() / "kelo_zek_icon_201_214.bmp", Solid(20, 90, kTrackPixel));
        s_store = new CImageStore;
        s_store->LoadAll();
    }
    static void TearDownTestSuite() {
        delete s_store;
        s_store = nullptr;
    }
    void TearDown() override {
        panel.reset();
        owner.reset();
        PumpFor(0);
    }

    static PanelLayout BaseLayout() {
        PanelLayout layout{};
        layout.store = s_store;
        layout.background = 0;
        layout.messages = PanelMessages{MSG_PRESS,         MSG_RELEASE,         MSG_LIST_SELECT, MSG_LIST_SCROLL,
                                        MSG_PRESS_OUTSIDE, MSG_RELEASE_OUTSIDE, MSG_UNUSED,      MSG_SCROLL_POSITION};
        return layout;
    }
    // A button drawn at x, y from image `normal` (pressed: normal + 1, focused: normal + 2),
    // hit in its 80 x 70 picture's rectangle.
    static PanelButton ImageButton(int x, int y, int normal) {
        PanelButton button{};
        button.enabled = 1;
        button.x = x;
        button.y = y;
        for (auto& state : button.images) state.fill(-1);
        button.images[0][0] = normal;
        button.images[1][0] = normal + 1;
        button.images[2][0] = normal + 2;
        button.hitX = x;
        button.hitY = y;
        button.hitWidth = 80;
        button.hitHeight = 70;
        return button;
    }
    static TextCell Cell(int x, int y, int width, int height, ce::COLORREF color) {
        TextCell cell{};
        cell.enabled = 1;
        cell.x = x;
        cell.y = y;
        cell.width = width;
        cell.height = height;
        cell.format = 5;
        cell.color = color;
        cell.fontHeight = 34;
        cell.bold = 1;
        return cell;
    }

    CBrowserWnd& Make(const PanelLayout& layout) {
        owner = std::make_unique<RecordingOwner>();
        panel = std::make_unique<CBrowserWnd>();
        panel->SetLayout(layout);
        EXPECT_TRUE(panel->Create(owner->hwnd(), 0, 0, 800, 150, 1001));
        ce::updateWindow(owner->hwnd());
        return *panel;
    }
    ce::Surface Shot() const { return CaptureWindow(owner->hwnd()); }

    // Pen input through the desktop, handled before returning.
    static void Pen(int x, int y, ce::PenAction action) {
        ASSERT_EQ(ce::injectPen({x, y}, action), ce::ERROR_SUCCESS);
        PumpFor(0);
    }
    void Key(ce::UINT key) {
        ce::sendMessage(panel->hwnd(), ce::WM_KEYDOWN, key, 0);
        PumpFor(0);
    }
    std::vector<RecordingOwner::Posted> Posted(ce::UINT msg) const { return owner->Of(msg); }

    // Pixels of the area that are not the background's.
    static int Drawn(const ce::Surface& shot, const ce::Rect& area) {
        int count = 0;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x) count += shot.pixel(x, y) != PositionPixel(x, y, kHorizontalSalt);
        return count;
    }
    static uint32_t Background(int x, int y) { return PositionPixel(x, y, kHorizontalSalt); }

    static inline CImageStore* s_store = nullptr;
    std::unique_ptr<RecordingOwner> owner;
    std::unique_ptr<CBrowserWnd> panel;
};

}  // namespace panel::testing
