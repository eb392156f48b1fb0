// Taps and keys on a skinned window: hit testing, press states and images, pointer capture,
// the messages posted to the main window, and the keyboard focus order.

#include "panel/tests/browser_fixture.h"

namespace panel::testing {
namespace {

using ce::PenAction;

class BrowserInput : public BrowserTest {
protected:
    // Buttons 0 (momentary, image 12) and 1 (toggle, image 20) overlap at x 60 to 79.
    CBrowserWnd& MakeButtons() {
        PanelLayout layout = BaseLayout();
        layout.buttons[0] = ImageButton(0, 0, 12);
        layout.buttons[1] = ImageButton(60, 0, 20);
        layout.buttons[1].mode = BUTTON_TOGGLE;
        layout.buttons[1].x = 300;  // drawn elsewhere than it is hit
        layout.buttons[2] = ImageButton(500, 0, 30);
        layout.buttons[2].hitTestOff = 1;
        layout.buttons[3] = ImageButton(600, 0, 40);
        layout.buttons[3].scrollAction = SCROLL_LIST_DOWN;  // no list: never hit
        return Make(layout);
    }
};

TEST_F(BrowserInput, PenDownPressesTheLowestHitButtonAndAReleaseInsidePostsIt) {
    CBrowserWnd& window = MakeButtons();
    EXPECT_EQ(Shot().pixel(40, 50), IconPixel(12));
    Pen(70, 50, PenAction::Down);
    EXPECT_TRUE(window.IsPressed(0));
    EXPECT_FALSE(window.IsPressed(1));
    EXPECT_EQ(ce::getCapture(), window.hwnd());
    EXPECT_EQ(Shot().pixel(40, 50), IconPixel(13));  // the pressed image
    ASSERT_EQ(Posted(MSG_PRESS).size(), 1u);
    EXPECT_EQ(Posted(MSG_PRESS)[0].wParam, 0u);
    EXPECT_TRUE(Posted(MSG_RELEASE).empty());

    Pen(75, 60, PenAction::Up);
    EXPECT_FALSE(window.IsPressed(0));
    EXPECT_EQ(ce::getCapture(), 0u);
    EXPECT_EQ(Shot().pixel(40, 50), IconPixel(12));
    ASSERT_EQ(Posted(MSG_RELEASE).size(), 1u);
    EXPECT_EQ(Posted(MSG_RELEASE)[0].wParam, 0u);
    EXPECT_EQ(window.LastPressed(), -1);
    // No list: every press and release is also one outside the list, with its point.
    ASSERT_EQ(Posted(MSG_RELEASE_OUTSIDE).size(), 1u);
    EXPECT_EQ(Posted(MSG_RELEASE_OUTSIDE)[0].wParam, 75u);
    EXPECT_EQ(Posted(MSG_RELEASE_OUTSIDE)[0].lParam, 60);
}

TEST_F(BrowserInput, APenLiftedOutsideTheWindowReleasesTheButtonWithoutItsMessage) {
    CBrowserWnd& window = MakeButtons();
    Pen(20, 20, PenAction::Down);
    Pen(20, 300, PenAction::Up);  // below the 150-pixel window: still sent here by the capture
    EXPECT_FALSE(window.IsPressed(0));
    EXPECT_EQ(Shot().pixel(40, 50), IconPixel(12));
    EXPECT_TRUE(Posted(MSG_RELEASE).empty());
    ASSERT_EQ(Posted(MSG_RELEASE_OUTSIDE).size(), 1u);
    EXPECT_EQ(Posted(MSG_RELEASE_OUTSIDE)[0].lParam, 300);
    // A later press that hits nothing does not bring the old button back.
    Pen(700, 120, PenAction::Down);
    Pen(700, 120, PenAction::Up);
    EXPECT_TRUE(Posted(MSG_RELEASE).empty());
    ASSERT_EQ(Posted(MSG_PRESS_OUTSIDE).size(), 2u);
    EXPECT_EQ(Posted(MSG_PRESS_OUTSIDE)[1].wParam, 700u);
}

TEST_F(BrowserInput, ToggleButtonsStayPressedUntilTheirNextTap) {
    CBrowserWnd& window = MakeButtons();
    Pen(100, 50, PenAction::Tap);
    EXPECT_TRUE(window.IsPressed(1));
    EXPECT_EQ(Shot().pixel(340, 50), IconPixel(21));
    Pen(100, 50, PenAction::Down);
    Pen(100, 50, PenAction::Up);
    EXPECT_FALSE(window.IsPressed(1));
    EXPECT_EQ(Shot().pixel(340, 50), IconPixel(20));
    EXPECT_EQ(Posted(MSG_RELEASE).size(), 2u);
}

TEST_F(BrowserInput, ButtonsThatCannotBeHitAndDoubleTaps) {
    CBrowserWnd& window = MakeButtons();
    Pen(620, 20, PenAction::Down);  // the scroll button without a list
    Pen(620, 20, PenAction::Up);
    EXPECT_TRUE(Posted(MSG_PRESS).empty());
    EXPECT_EQ(Shot().pixel(640, 20), Background(640, 20));  // and it is not drawn either
    Pen(520, 20, PenAction::Down);  // hit testing off
    Pen(520, 20, PenAction::Up);
    EXPECT_FALSE(window.IsPressed(2));
    EXPECT_TRUE(Posted(MSG_PRESS).empty());

    Pen(20, 20, PenAction::DoubleTap);  // down, up, double tap (a press without capture), up
    EXPECT_EQ(Posted(MSG_PRESS).size(), 2u);
    EXPECT_EQ(Posted(MSG_RELEASE).size(), 2u);
    EXPECT_EQ(ce::getCapture(), 0u);
    EXPECT_FALSE(window.IsPressed(0));
}

TEST_F(BrowserInput, SetButtonValueChoosesTheImageColumn) {
    PanelLayout layout = BaseLayout();
    layout.buttons[7] = ImageButton(100, 20, 12);
    layout.buttons[7].images[0][1] = 30;
    layout.buttons[7].images[1][1] = 31;
    CBrowserWnd& window = Make(layout);
    ASSERT_TRUE(window.SetButtonValue(7, 1));
    EXPECT_EQ(Shot().pixel(140, 50), IconPixel(30));
    Pen(140, 50, PenAction::Down);
    EXPECT_EQ(Shot().pixel(140, 50), IconPixel(31));
    Pen(140, 50, PenAction::Up);
    EXPECT_EQ(Shot().pixel(140, 50), IconPixel(30));
    EXPECT_FALSE(window.SetButtonValue(80, 1));
    EXPECT_FALSE(window.SetButtonValue(-1, 1));
    EXPECT_TRUE(window.SetButtonValue(7, 6));  // beyond the columns: nothing drawn, no crash
}

class BrowserKeys : public BrowserTest {
protected:
    static PanelLayout KeyLayout() {
        PanelLayout layout = BaseLayout();
        layout.keys = KeyboardSettings{1, ce::VK_LEFT, ce::VK_RIGHT, ce::VK_RETURN, ce::VK_UP, ce::VK_DOWN};
        const int keys[] = {5, 1, 5, 3};
        for (int i = 0; i < 4; ++i) {
            layout.buttons[static_cast<size_t>(i)] = ImageButton(100 * i, 0, 12 + 3 * i);
            layout.buttons[static_cast<size_t>(i)].focusKey = keys[i];
        }
        return layout;
    }
};

TEST_F(BrowserKeys, FocusMovesInKeyOrderAndWraps) {
    CBrowserWnd& window = Make(KeyLayout());
    std::vector<int> order;
    for (const auto& entry : window.Focus().Entries()) order.push_back(entry.id);
    EXPECT_EQ(order, (std::vector<int>{11, 13, 10, 12}));  // equal keys keep their insertion order
    EXPECT_EQ(window.FocusedItem(), 11);
    EXPECT_EQ(Shot().pixel(140, 50), IconPixel(17));  // button 1's focused image
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i) {
        Key(ce::VK_RIGHT);
        seen.push_back(window.FocusedItem());
    }
    EXPECT_EQ(seen, (std::vector<int>{13, 10, 12, 11}));
    Key(ce::VK_LEFT);
    EXPECT_EQ(window.FocusedItem(), 12);
    const ce::Surface shot = Shot();
    EXPECT_EQ(shot.pixel(240, 50), IconPixel(20));  // button 2 focused
    EXPECT_EQ(shot.pixel(140, 50), IconPixel(15));  // button 1 redrawn normal

    Pen(40, 40, PenAction::Down);  // a tap moves the focus to the button
    Pen(40, 40, PenAction::Up);
    EXPECT_EQ(window.FocusedItem(), 10);
    EXPECT_EQ(Shot().pixel(240, 50), IconPixel(18));
}

TEST_F(BrowserKeys, ActivateSendsPressOrElseRelease) {
    Make(KeyLayout());
    Key(ce::VK_RETURN);
    ASSERT_EQ(Posted(MSG_PRESS).size(), 1u);
    EXPECT_EQ(Posted(MSG_PRESS)[0].wParam, 1u);

    PanelLayout noPress = KeyLayout();
    noPress.messages.buttonPress = 0;
    Make(noPress);
    Key(ce::VK_RETURN);
    EXPECT_TRUE(Posted(MSG_PRESS).empty());
    ASSERT_EQ(Posted(MSG_RELEASE).size(), 1u);
    EXPECT_EQ(Posted(MSG_RELEASE)[0].wParam, 1u);
}

TEST_F(BrowserKeys, ItemsThatNeedAnActiveListAreSkipped) {
    PanelLayout layout = KeyLayout();
    layout.list.enabled = 1;  // inactive list
    layout.list.focusKey = 0;
    layout.buttons[1].scrollAction = SCROLL_LIST_UP;
    CBrowserWnd& window = Make(layout);
    EXPECT_EQ(window.Focus().Entries().front().id, kFocusList);
    EXPECT_EQ(window.FocusedItem(), 13);  // the first item that can hold the focus
    std::vector<int> seen;
    for (int i = 0; i < 3; ++i) {
        Key(ce::VK_RIGHT);
        seen.push_back(window.FocusedItem());
    }
    EXPECT_EQ(seen, (std::vector<int>{10, 12, 13}));  // past the list and button 1

    PanelLayout only = BaseLayout();
    only.keys = KeyLayout().keys;
    only.list.enabled = 1;
    only.buttons[0] = ImageButton(0, 0, 12);
    only.buttons[0].scrollAction = SCROLL_LIST_DOWN;
    CBrowserWnd& lonely = Make(only);
    Key(ce::VK_RIGHT);
    EXPECT_EQ(lonely.FocusedItem(), -1);  // nothing can hold the focus
    Key(ce::VK_RETURN);
    EXPECT_TRUE(Posted(MSG_PRESS).empty());
}

TEST_F(BrowserKeys, AtMostEightyItemsInTheOrder) {
    PanelLayout layout = BaseLayout();
    layout.keys.enabled = 1;
    layout.list.enabled = 1;
    layout.list.focusKey = -1;
    for (auto& button : layout.buttons) button.enabled = 1;
    CBrowserWnd& window = Make(layout);
    ASSERT_EQ(window.Focus().Entries().size(), 80u);
    EXPECT_EQ(window.Focus().Entries().front().id, kFocusList);
    EXPECT_EQ(window.Focus().Entries().back().id, kFocusButtonBase + 78);
}

}  // namespace
}  // namespace panel::testing
