// What a skinned window shows: the full paint, static images and buttons (keyed or opaque),
// text cells drawn at once over their background, shadows, captions, marquee rotation.

#include "panel/tests/browser_fixture.h"

#include "platform/ui/paint.h"

namespace panel::testing {
namespace {

constexpr ce::COLORREF kBlue = 0xFF0000;   // colour reference: pixel 0x0000FF
constexpr ce::COLORREF kGreen = 0x00FF00;  // pixel 0x00FF00

TEST_F(BrowserTest, FullPaintComposesBackgroundStaticsAndButtons) {
    PanelLayout layout = BaseLayout();
    layout.statics[0] = StaticImage{1, 10, 300, 20, 1, 1, 0x000C00};  // keyed
    layout.statics[1] = StaticImage{1, 11, 400, 20, 1, 0, 0};         // opaque
    layout.statics[2] = StaticImage{0, 12, 100, 20, 1, 0, 0};         // switched off
    layout.buttons[3] = ImageButton(500, 20, 12);
    layout.buttons[3].keyed = 1;
    layout.buttons[3].keyColor = 0x000C00;
    layout.buttons[4] = ImageButton(600, 20, 13);
    layout.buttons[4].enabled = 0;
    layout.buttons[5] = ImageButton(700, 20, 14);
    layout.buttons[5].scrollAction = SCROLL_LIST_DOWN;  // without a list it is not drawn
    layout.buttons[6] = ImageButton(200, 80, 15);
    layout.buttons[6].images[0][0] = -1;  // the background in place of an image
    layout.buttons[6].width = 30;
    layout.buttons[6].height = 30;
    Make(layout);
    const ce::Surface shot = Shot();

    EXPECT_EQ(CompareArea(shot, {0, 0}, PositionCoded(800, 150, kHorizontalSalt), {0, 0}, 300, 150), "");
    EXPECT_EQ(shot.pixel(300, 20), Background(300, 20));  // key block of the keyed static
    EXPECT_EQ(shot.pixel(340, 20), IconPixel(10));
    EXPECT_EQ(shot.pixel(379, 89), IconPixel(10));
    EXPECT_EQ(shot.pixel(380, 20), Background(380, 20));
    EXPECT_EQ(shot.pixel(400, 20), kTurnKeyPixel);  // the opaque one copies its key block
    EXPECT_EQ(shot.pixel(500, 20), Background(500, 20));
    EXPECT_EQ(shot.pixel(540, 20), IconPixel(12));
    EXPECT_EQ(Drawn(shot, {600, 20, 800, 90}), 0);
    EXPECT_EQ(Drawn(shot, {200, 80, 230, 110}), 0);
}

TEST_F(BrowserTest, CellTextsAreDrawnAtOnceOverTheirBackground) {
    PanelLayout layout = BaseLayout();
    layout.cells[0] = Cell(20, 20, 200, 40, 0x0000FF);
    layout.cells[1] = Cell(20, 80, 200, 40, 0x0000FF);
    layout.cells[1].enabled = 0;
    CBrowserWnd& window = Make(layout);

    ASSERT_TRUE(window.SetCellText(0, u"Hello"));
    ce::Surface shot = Shot();  // no message handled since: drawn at once
    EXPECT_GT(Drawn(shot, {20, 20, 220, 60}), 100);
    EXPECT_EQ(Drawn(shot, {0, 0, 800, 20}) + Drawn(shot, {0, 60, 800, 150}) + Drawn(shot, {220, 20, 800, 60}), 0);

    ASSERT_TRUE(window.SetCellText(0, u""));  // empty: the old text stays
    EXPECT_EQ(CompareArea(Shot(), {20, 20}, shot, {20, 20}, 200, 40), "");
    ASSERT_TRUE(window.SetCellText(0, u" "));  // a space blanks the cell
    EXPECT_EQ(Drawn(Shot(), {20, 20, 220, 60}), 0);

    EXPECT_FALSE(window.SetCellText(16, u"x"));
    EXPECT_FALSE(window.SetCellText(-1, u"x"));
    ASSERT_TRUE(window.SetCellText(1, u"Stored"));  // switched off: kept, not drawn
    EXPECT_EQ(window.CellText(1), u"Stored");
    ce::invalidateRect(window.hwnd(), nullptr, false);
    ce::updateWindow(window.hwnd());
    EXPECT_EQ(Drawn(Shot(), {0, 60, 800, 150}), 0);
}

TEST_F(BrowserTest, FullPaintRestoresTheStoredPictureAndDropsWhatWasDrawnBesideIt) {
    PanelLayout layout = BaseLayout();
    layout.cells[0] = Cell(20, 20, 200, 40, 0x0000FF);
    CBrowserWnd& window = Make(layout);
    window.SetCellText(0, u"Kept");
    const ce::Surface withText = Shot();
    {
        ce::ClientDc dc(window.hwnd());
        dc->fillRect({600, 50, 650, 100}, ce::createSolidBrush(kGreen));
    }
    EXPECT_EQ(Shot().pixel(610, 60), 0x00FF00u);
    ce::invalidateRect(window.hwnd(), nullptr, true);
    ce::updateWindow(window.hwnd());
    const ce::Surface repainted = Shot();
    EXPECT_EQ(repainted.pixel(610, 60), Background(610, 60));
    EXPECT_EQ(CompareArea(repainted, {0, 0}, withText, {0, 0}, 400, 150), "");
}

// Rows of the picture holding a pixel of this colour: the first and the last.
std::pair<int, int> RowsWith(const ce::Surface& shot, const ce::Rect& area, uint32_t pixel) {
    int first = -1, last = -1;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (shot.pixel(x, y) == pixel) {
                if (first < 0) first = y;
                last = y;
            }
    return {first, last};
}

TEST_F(BrowserTest, ShadowsAreDrawnFirstOnePixelLower) {
    PanelLayout layout = BaseLayout();
    layout.cells[2] = Cell(20, 20, 300, 60, kBlue);
    layout.cells[2].shadow = 1;
    layout.cells[2].shadowColor = kGreen;
    layout.cells[3] = Cell(400, 20, 300, 60, kBlue);
    layout.cells[3].shadowColor = kGreen;  // shadow off
    CBrowserWnd& window = Make(layout);
    window.SetCellText(2, u"HIHI");
    window.SetCellText(3, u"HIHI");
    const ce::Surface shot = Shot();
    const auto text = RowsWith(shot, {20, 20, 320, 80}, 0x0000FF);
    const auto shadow = RowsWith(shot, {20, 20, 320, 80}, 0x00FF00);
    ASSERT_GE(text.first, 0);
    ASSERT_GE(shadow.first, 0);
    EXPECT_EQ(shadow.second, text.second + 1);  // only the shadow shows under the text's last row
    EXPECT_EQ(RowsWith(shot, {400, 20, 700, 80}, 0x00FF00).first, -1);
}

TEST_F(BrowserTest, CaptionsTakeTheColourOfTheButtonsState) {
    PanelLayout layout = BaseLayout();
    layout.buttons[3] = ImageButton(300, 20, 12);
    layout.buttons[3].images[0][0] = layout.buttons[3].images[1][0] = -1;
    ButtonCaption& caption = layout.captions[3];
    caption.enabled = 1;
    caption.text = u"OK";
    caption.colors = {kBlue, kGreen, kBlue};
    caption.fontHeights = {40, 40, 40};
    caption.bold = {1, 1, 1};
    caption.offsetX = 10;
    caption.offsetY = 5;
    caption.width = 60;
    caption.height = 60;
    caption.format = 1;  // centred; narrower than its rectangle, so also centred vertically
    Make(layout);
    ce::Surface shot = Shot();
    const ce::Rect captionRect{310, 25, 370, 85};
    EXPECT_GT(CountPixels(shot, captionRect, 0x0000FF), 20);
    EXPECT_EQ(CountPixels(shot, captionRect, 0x00FF00), 0);
    EXPECT_EQ(Drawn(shot, {300, 0, 800, 25}) + Drawn(shot, {300, 85, 800, 150}), 0);
    const auto rows = RowsWith(shot, captionRect, 0x0000FF);
    EXPECT_GT(rows.first, 25 + 5);  // centred vertically, not at the top

    Pen(320, 40, ce::PenAction::Down);
    shot = Shot();
    EXPECT_GT(CountPixels(shot, captionRect, 0x00FF00), 20);
    EXPECT_EQ(CountPixels(shot, captionRect, 0x0000FF), 0);
    Pen(320, 40, ce::PenAction::Up);
}

TEST_F(BrowserTest, MarqueeCellsRotateOnTimer1001AndStartOverWhenSet) {
    PanelLayout layout = BaseLayout();
    layout.cells[0] = Cell(20, 20, 120, 40, 0x0000FF);
    layout.cells[0].marquee = 1;
    CBrowserWnd& window = Make(layout);
    EXPECT_TRUE(window.IsMarqueeTimerRunning());
    const std::u16string text = u"A long road name 1234";
    window.SetCellText(0, text);
    EXPECT_EQ(window.Layout().cells[0].marqueePosition, 1);  // set to 0, then drawn once
    const ce::Surface before = Shot();
    {
        ce::ClientDc dc(window.hwnd());  // drawn beside the cells: a partial redraw keeps it
        dc->fillRect({600, 50, 650, 100}, ce::createSolidBrush(kGreen));
    }
    ce::sendMessage(window.hwnd(), ce::WM_TIMER, kMarqueeTimer, 0);
    const ce::Surface after = Shot();
    EXPECT_EQ(window.Layout().cells[0].marqueePosition, 2);
    EXPECT_NE(CompareArea(after, {20, 20}, before, {20, 20}, 120, 40), "");
    EXPECT_EQ(after.pixel(610, 60), 0x00FF00u);
    for (size_t i = 0; i < text.size() - 2; ++i) ce::sendMessage(window.hwnd(), ce::WM_TIMER, kMarqueeTimer, 0);
    EXPECT_EQ(window.Layout().cells[0].marqueePosition, 0);  // wrapped at the text's length
    window.SetCellText(0, u"Short");
    EXPECT_EQ(window.Layout().cells[0].marqueePosition, 1);

    PanelLayout still = BaseLayout();
    still.cells[0] = Cell(20, 20, 120, 40, 0x0000FF);
    EXPECT_FALSE(Make(still).IsMarqueeTimerRunning());
}

TEST_F(BrowserTest, NothingIsDrawnOnceTheWindowIsDestroyed) {
    PanelLayout layout = BaseLayout();
    layout.cells[0] = Cell(20, 20, 200, 40, 0x0000FF);
    CBrowserWnd& window = Make(layout);
    window.SetCellText(0, u"gone");
    window.destroy();
    EXPECT_EQ(window.CellText(0), u"");  // texts are freed with the window
    const ce::Surface gone = Shot();
    EXPECT_TRUE(window.SetCellText(0, u"late"));
    EXPECT_TRUE(window.SetButtonValue(3, 1));
    EXPECT_EQ(CompareArea(Shot(), {0, 0}, gone, {0, 0}, 800, 150), "");
}

}  // namespace
}  // namespace panel::testing
