// The panels' two buttons tapped on the screen, in both orientations: what ZEK.cfg holds
// afterwards, where the window is, which panel shows and which image button 2 has.

#include "panel/tests/frame_fixture.h"

namespace panel::testing {
namespace {

class PanelButtons : public FrameTest {
protected:
    void Tap(int x, int y) {
        ASSERT_EQ(ce::injectPen({x, y}, ce::PenAction::Down), ce::ERROR_SUCCESS);
        PumpFor(0);
        ASSERT_EQ(ce::injectPen({x, y}, ce::PenAction::Up), ce::ERROR_SUCCESS);
        PumpFor(0);
        ce::updateWindow(frame->hwnd());
    }
    // Button 2's image at its place in the panel (keyed: 0x808080 shows the background).
    int ExpandImage(bool horizontal) const {
        const ce::Surface shot = Panel();
        const int y = horizontal ? 90 + 45 : 420 + 45;
        const uint32_t pixel = shot.pixel(30, y);
        for (int id = IMG_BUTTON_ON_NORMAL; id <= IMG_BUTTON_OFF_PRESSED; ++id)
            if (pixel == IconPixel(id)) return id;
        return -1;
    }
};

TEST_F(PanelButtons, OrientationToggleInBothDirections) {
    Start();
    Show();
    EXPECT_EQ(ExpandImage(false), IMG_BUTTON_ON_NORMAL);
    Tap(150, 200);  // button 1 of the vertical panel
    EXPECT_EQ(ReadConfig(), (std::vector<uint8_t>{1, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(WindowRect(), (ce::Rect{0, 330, 800, 480}));
    EXPECT_EQ(ShownSalt(), kHorizontalSalt);
    EXPECT_EQ(ExpandImage(true), IMG_BUTTON_ON_NORMAL);
    EXPECT_EQ(frame->Guidance().m_nTurnRepeat, 0);
    // x 37 to 56 of the expand image hits button 1, the lower index: the panel turns.
    Tap(45, 330 + 120);
    EXPECT_EQ(ReadConfig(), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(WindowRect(), (ce::Rect{0, 0, 250, 480}));
    EXPECT_EQ(ShownSalt(), kVerticalSalt);
    EXPECT_TRUE(frame->IsShown());
}

TEST_F(PanelButtons, CollapseAndExpandTheVerticalPanel) {
    Start();
    Show();
    frame->VerticalPanel().SetCellText(CELL_CAMERA_DISTANCE, u"(100m)");
    ASSERT_EQ(ce::injectPen({20, 450}, ce::PenAction::Down), ce::ERROR_SUCCESS);
    PumpFor(0);
    EXPECT_EQ(ExpandImage(false), IMG_BUTTON_ON_PRESSED);  // held: the pressed image
    ASSERT_EQ(ce::injectPen({20, 450}, ce::PenAction::Up), ce::ERROR_SUCCESS);
    PumpFor(0);
    EXPECT_EQ(ReadConfig(), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(WindowRect(), (ce::Rect{0, 0, 40, 480}));
    EXPECT_EQ(ExpandImage(false), IMG_BUTTON_OFF_NORMAL);
    EXPECT_EQ(frame->VerticalPanel().CellText(CELL_CAMERA_DISTANCE), u" ");
    EXPECT_FALSE(frame->VerticalPanel().Layout().cells[CELL_SAFETY_TEXT].enabled);
    EXPECT_EQ(navigation->received.back().dwData, kCopySubscribe);
    EXPECT_EQ(navigation->received.back().wParam, 0u);

    Tap(20, 100);  // button 1 while collapsed: nothing but the forgotten road names
    EXPECT_EQ(ReadConfig(), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(WindowRect(), (ce::Rect{0, 0, 40, 480}));

    Tap(20, 450);
    EXPECT_EQ(ReadConfig(), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(WindowRect(), (ce::Rect{0, 0, 250, 480}));
    EXPECT_EQ(ExpandImage(false), IMG_BUTTON_ON_NORMAL);
    EXPECT_TRUE(frame->VerticalPanel().Layout().cells[CELL_SAFETY_TEXT].enabled);
    EXPECT_EQ(navigation->received.back().wParam, frame->hwnd());
}

TEST_F(PanelButtons, CollapseAndExpandTheHorizontalPanelFromTheValueOnDisk) {
    Start({1, 0xAA, 0xBB, 0xCC, 1, 0, 0, 0});
    Show();
    EXPECT_EQ(WindowRect(), (ce::Rect{0, 330, 800, 480}));
    WriteConfig({0, 0xAA, 0xBB, 0xCC, 1, 0, 0, 0});  // another process collapsed it meanwhile
    Tap(20, 450);
    EXPECT_EQ(ReadConfig(), (std::vector<uint8_t>{1, 0xAA, 0xBB, 0xCC, 1, 0, 0, 0}));  // so this expands
    EXPECT_EQ(WindowRect(), (ce::Rect{0, 330, 800, 480}));
    Tap(20, 450);
    EXPECT_EQ(ReadConfig(), (std::vector<uint8_t>{0, 0xAA, 0xBB, 0xCC, 1, 0, 0, 0}));
    EXPECT_EQ(WindowRect(), (ce::Rect{0, 330, 40, 480}));
    EXPECT_EQ(ExpandImage(true), IMG_BUTTON_OFF_NORMAL);
    EXPECT_EQ(frame->VerticalPanel().ButtonValue(BUTTON_EXPAND), 1);  // only the sending panel
}

TEST_F(PanelButtons, APenLiftedOutsideThePanelDoesNothing) {
    Start();
    Show();
    ASSERT_EQ(ce::injectPen({20, 450}, ce::PenAction::Down), ce::ERROR_SUCCESS);
    PumpFor(0);
    ASSERT_EQ(ce::injectPen({600, 450}, ce::PenAction::Up), ce::ERROR_SUCCESS);
    PumpFor(0);
    EXPECT_EQ(ReadConfig(), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(ExpandImage(false), IMG_BUTTON_ON_NORMAL);
    EXPECT_EQ(WindowRect(), (ce::Rect{0, 0, 250, 480}));
}

}  // namespace
}  // namespace panel::testing
