#include <gtest/gtest.h>

#include "installer/dialog/artwork.h"
#include "installer/dialog/installer_dlg.h"
#include "installer/dialog/pump_messages.h"
#include "platform/ui/desktop.h"
#include "platform/ui/message.h"
#include "sim/headunit/headunit.h"

namespace installer {
namespace {

int luminance(uint32_t pixel) {
    return static_cast<int>(((pixel >> 16) & 0xFF) * 3 + ((pixel >> 8) & 0xFF) * 6 + (pixel & 0xFF)) / 10;
}

TEST(Artwork, BackgroundIsFullScreenWithALightStripBehindTheStatusText) {
    const ce::HBITMAP background = LoadBitmap131();
    ASSERT_EQ(background->width(), 800);
    ASSERT_EQ(background->height(), 480);
    EXPECT_EQ(Bitmap131Bytes()[28], 4);  // stored with 4 bits per pixel
    for (int y = kStatusRect.top; y < kStatusRect.bottom; ++y)
        for (int x = kStatusRect.left; x < kStatusRect.right; ++x)
            ASSERT_GT(luminance(background->pixel(x, y)), 200) << x << "," << y;
    const ce::HBITMAP icon = LoadIcon128(32);
    const ce::HBITMAP small = LoadIcon128(16);
    ASSERT_TRUE(icon && small);
    EXPECT_EQ(icon->width(), 32);
    EXPECT_EQ(small->height(), 16);
    EXPECT_EQ(LoadIcon128(48), nullptr);
}

TEST(PumpMessages, HandlesWaitingMessagesButKeepsAQuitRequest) {
    sim::TempHeadUnit unit;
    ASSERT_TRUE(ce::postMessage(0, ce::WM_USER + 1, 0, 0));
    ce::postQuitMessage(3);
    PumpMessages();
    ce::Msg msg;
    ASSERT_TRUE(ce::peekMessage(&msg, 0, 0, 0, ce::PM_REMOVE));
    EXPECT_EQ(msg.message, ce::WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_FALSE(ce::peekMessage(&msg, 0, 0, 0, ce::PM_REMOVE));
}

TEST(InstallerPage, StatusTextIsDrawnAtOnceInBlackOverTheStrip) {
    sim::TempHeadUnit unit;
    ProcessState process;
    CInstallerDlg page(process);
    ASSERT_EQ(page.createModeless(), ce::ERROR_SUCCESS);
    page.SetStatusText("Copy : Kelo_ZEK.exe(42%)");
    EXPECT_EQ(ce::getWindowText(page.itemHandle(IDC_STATUS)), "Copy : Kelo_ZEK.exe(42%)");
    auto shot = ce::captureWindow(page.hwnd());
    ASSERT_TRUE(shot);
    int dark = 0, darkLeftOfMargin = 0;
    for (int y = kStatusRect.top; y < kStatusRect.bottom; ++y) {
        for (int x = kStatusRect.left; x < kStatusRect.right; ++x) {
            if (luminance((*shot)->pixel(x, y)) >= 80) continue;
            ++dark;
            if (x < kStatusRect.left + 30) ++darkLeftOfMargin;
        }
    }
    EXPECT_GT(dark, 100);               // the text is there, in a dark ink
    EXPECT_EQ(darkLeftOfMargin, 0);     // drawn 30 pixels in from the left
    // The title, the hidden Exit button and the bar keep the device's pixel layout.
    ce::Rect bar;
    ASSERT_TRUE(ce::getWindowRect(page.itemHandle(IDC_PROGRESS), &bar));
    EXPECT_EQ(bar, (ce::Rect{110, 145, 110 + 236, 145 + 11}));
    EXPECT_FALSE(ce::isWindowVisible(page.itemHandle(IDC_EXIT)));
    page.destroy();
}

}  // namespace
}  // namespace installer
