// The list facility of the skinned window: rows, selection by tap and by key, scroll actions
// and their messages, the scroll bar and the page indicator.

#include "panel/tests/browser_fixture.h"

namespace panel::testing {
namespace {

using ce::PenAction;

class BrowserList : public BrowserTest {
protected:
    // Three rows of 30 pixels at 0, 0, 300 wide; a bar at 310, 0 of 20 x 90; five items.
    static PanelLayout ListLayout() {
        PanelLayout layout = BaseLayout();
        ListSettings& list = layout.list;
        list.enabled = 1;
        list.active = 1;
        list.width = 300;
        list.rowHeight = 30;
        list.visibleRows = 3;
        list.line1 = {5, 0, 295, 30};
        list.lineFormat = 4;
        for (auto& row : list.rows) {
            row.color1 = 0x0000FF;
            row.fontHeight1 = 24;
        }
        list.rows[ROW_SELECTED].color1 = 0xFF0000;
        list.scrollBar = 1;
        list.barX = 310;
        list.barWidth = 20;
        list.barHeight = 90;
        list.trackImage = kTrackImage;
        list.thumbImage = kThumbImage;
        list.pageIndicator = 1;
        list.pageRect = {400, 0, 500, 30};
        list.pageColor = 0x0000FF;
        list.pageFontHeight = 24;
        layout.buttons[0] = ImageButton(600, 0, 12);
        layout.buttons[0].scrollAction = SCROLL_LIST_DOWN;
        layout.buttons[0].scrollAmount = 1;
        layout.buttons[1] = ImageButton(700, 0, 15);
        layout.buttons[1].scrollAction = SCROLL_LIST_UP;
        layout.buttons[1].scrollAmount = 1;
        layout.scrollOnRelease = 1;
        return layout;
    }
    CBrowserWnd& MakeList(PanelLayout layout = ListLayout()) {
        CBrowserWnd& window = Make(layout);
        for (int i = 0; i < 5; ++i)
            window.List().AddItem(ListItem{100 + i, u"Item " + std::u16string(1, char16_t(u'A' + i)), u"", 0, 0xFFFFFFFF});
        window.RedrawList();
        return window;
    }
    static int ThumbTopOnScreen(const ce::Surface& shot) {
        for (int y = 0; y < 90; ++y)
            if (shot.pixel(315, y) == kThumbPixel) return y;
        return -1;
    }
    void Tap(int x, int y) {
        Pen(x, y, PenAction::Down);
        Pen(x, y, PenAction::Up);
    }
};

TEST_F(BrowserList, TappingARowSelectsItAndPostsItsData) {
    CBrowserWnd& window = MakeList();
    EXPECT_GT(CountPixels(Shot(), {0, 30, 300, 60}, 0xFF0000), 10);  // row 1 in the normal colour (red)
    Tap(50, 45);
    EXPECT_EQ(window.List().Selected(), 1);
    ASSERT_EQ(Posted(MSG_LIST_SELECT).size(), 1u);
    EXPECT_EQ(Posted(MSG_LIST_SELECT)[0].wParam, 1u);
    EXPECT_EQ(Posted(MSG_LIST_SELECT)[0].lParam, 101);
    EXPECT_TRUE(Posted(MSG_PRESS_OUTSIDE).empty());
    EXPECT_TRUE(Posted(MSG_RELEASE_OUTSIDE).empty());
    const ce::Surface shot = Shot();
    EXPECT_GT(CountPixels(shot, {0, 30, 300, 60}, 0x0000FF), 10);  // now in the selected colour (blue)
    EXPECT_EQ(CountPixels(shot, {0, 30, 300, 60}, 0xFF0000), 0);
    // A press on a row lifted on another row acts (the press ends) but selects nothing.
    Pen(50, 15, PenAction::Down);
    Pen(50, 75, PenAction::Up);
    EXPECT_EQ(window.List().Selected(), 1);
    EXPECT_EQ(Posted(MSG_LIST_SELECT).size(), 1u);
    EXPECT_TRUE(Posted(MSG_RELEASE_OUTSIDE).empty());
    // Below the last row with an item, or beside the list: outside the list.
    Tap(50, 120);
    EXPECT_EQ(Posted(MSG_PRESS_OUTSIDE).size(), 1u);
}

TEST_F(BrowserList, ScrollButtonsMoveTheTopRowAndReportTheEnds) {
    CBrowserWnd& window = MakeList();
    EXPECT_EQ(ThumbTopOnScreen(Shot()), 0);
    Tap(620, 20);  // down
    EXPECT_EQ(window.List().Top(), 1);
    ASSERT_EQ(Posted(MSG_SCROLL_POSITION).size(), 1u);
    EXPECT_EQ(Posted(MSG_SCROLL_POSITION)[0].wParam, 1u);
    EXPECT_EQ(Posted(MSG_SCROLL_POSITION)[0].lParam, 2);
    EXPECT_TRUE(Posted(MSG_LIST_SCROLL).empty());
    EXPECT_EQ(ThumbTopOnScreen(Shot()), 30);  // half of the 60 pixels of travel
    Tap(620, 20);
    Tap(620, 20);
    EXPECT_EQ(window.List().Top(), 2);
    EXPECT_EQ(Posted(MSG_SCROLL_POSITION).size(), 2u);
    ASSERT_EQ(Posted(MSG_LIST_SCROLL).size(), 2u);  // at the end, and again at the end
    EXPECT_EQ(Posted(MSG_LIST_SCROLL)[0].wParam, 1u);
    EXPECT_EQ(ThumbTopOnScreen(Shot()), 60);
    Tap(720, 20);
    Tap(720, 20);
    EXPECT_EQ(window.List().Top(), 0);
    ASSERT_EQ(Posted(MSG_LIST_SCROLL).size(), 3u);
    EXPECT_EQ(Posted(MSG_LIST_SCROLL)[2].wParam, 0u);
}

TEST_F(BrowserList, ScrollActionsRunOnPressWhenAskedAndNeedAnActiveList) {
    PanelLayout layout = ListLayout();
    layout.scrollOnRelease = 0;
    CBrowserWnd& window = MakeList(layout);
    Pen(620, 20, PenAction::Down);
    EXPECT_EQ(window.List().Top(), 1);
    Pen(620, 20, PenAction::Up);
    EXPECT_EQ(window.List().Top(), 1);

    window.List().SetActive(false);
    Tap(620, 20);
    Tap(50, 15);
    EXPECT_EQ(window.List().Top(), 1);
    EXPECT_EQ(window.List().Selected(), -1);
    EXPECT_EQ(Posted(MSG_PRESS_OUTSIDE).size(), 3u);  // the first press beside the list, then both
}

TEST_F(BrowserList, TheBarPagesByTheVisibleRows) {
    CBrowserWnd& window = MakeList();
    EXPECT_EQ(Shot().pixel(315, 80), kTrackPixel);
    Tap(315, 80);  // below the thumb
    EXPECT_EQ(window.List().Top(), 2);
    EXPECT_EQ(ThumbTopOnScreen(Shot()), 60);
    Tap(315, 10);  // above it
    EXPECT_EQ(window.List().Top(), 0);
    EXPECT_TRUE(Posted(MSG_PRESS_OUTSIDE).empty());
    EXPECT_TRUE(Posted(MSG_RELEASE_OUTSIDE).empty());
}

TEST_F(BrowserList, KeysMoveTheSelectionAndActivatePostsIt) {
    PanelLayout layout = ListLayout();
    layout.keys = KeyboardSettings{1, ce::VK_LEFT, ce::VK_RIGHT, ce::VK_RETURN, ce::VK_UP, ce::VK_DOWN};
    layout.list.focusKey = -1;
    layout.list.proportionalThumb = 0;  // the thumb steps with the selection
    CBrowserWnd& window = MakeList(layout);
    ASSERT_EQ(window.FocusedItem(), kFocusList);
    for (int i = 0; i < 4; ++i) Key(ce::VK_DOWN);
    EXPECT_EQ(window.List().Selected(), 3);
    EXPECT_EQ(window.List().Top(), 1);  // the selection stays in view
    EXPECT_EQ(ThumbTopOnScreen(Shot()), 45);  // 3 of 4 steps of 60 pixels
    Key(ce::VK_UP);
    Key(ce::VK_RETURN);
    ASSERT_EQ(Posted(MSG_LIST_SELECT).size(), 1u);
    EXPECT_EQ(Posted(MSG_LIST_SELECT)[0].wParam, 2u);
    EXPECT_EQ(Posted(MSG_LIST_SELECT)[0].lParam, 102);
    Key(ce::VK_RIGHT);  // to a button: the selection keys do nothing there
    Key(ce::VK_DOWN);
    EXPECT_EQ(window.List().Selected(), 2);
}

TEST_F(BrowserList, PageIndicatorFollowsTheSelectionAndBadFormatsPrintNothing) {
    CBrowserWnd& window = MakeList();
    const ce::Surface none = Shot();
    EXPECT_GT(Drawn(none, {400, 0, 500, 30}), 20);  // "0/5"
    window.List().Select(3);
    window.RedrawList();
    EXPECT_NE(CompareArea(Shot(), {400, 0}, none, {400, 0}, 100, 30), "");

    PanelLayout layout = ListLayout();
    layout.list.pageFormat = u"%d %d %d %s";
    MakeList(layout);
    EXPECT_EQ(Drawn(Shot(), {400, 0, 500, 30}), 0);
}

TEST_F(BrowserList, TheSelectedRowRotatesOnTimer1001UnlessPressed) {
    PanelLayout layout = ListLayout();
    layout.list.marquee = 1;
    CBrowserWnd& window = MakeList(layout);
    EXPECT_TRUE(window.IsMarqueeTimerRunning());
    window.List().AddItem(ListItem{0, u"A very long row text that needs rotating", u"", 0, 0xFFFFFFFF});
    window.List().Select(5);
    window.RedrawList();
    const int position = window.List().m_nMarqueePosition;
    ce::sendMessage(window.hwnd(), ce::WM_TIMER, kMarqueeTimer, 0);
    EXPECT_EQ(window.List().m_nMarqueePosition, position + 1);
    Pen(50, 15, PenAction::Down);
    const int pressed = window.List().m_nMarqueePosition;
    ce::sendMessage(window.hwnd(), ce::WM_TIMER, kMarqueeTimer, 0);
    EXPECT_EQ(window.List().m_nMarqueePosition, pressed);
    Pen(50, 15, PenAction::Up);
}

}  // namespace
}  // namespace panel::testing
