// Dialogs and controls inside one process: templates in dialog units, the controls' messages
// and state, pen input hit-tested to a control, a program's own painting, message boxes.

#include <gtest/gtest.h>

#include "platform/gfx/surface.h"
#include "platform/ui/controls.h"
#include "platform/ui/desktop.h"
#include "platform/ui/dialog.h"
#include "platform/ui/message.h"
#include "platform/ui/paint.h"

using namespace ce;

namespace {

DialogTemplate sampleTemplate() {
    DialogTemplate t;
    t.x = 0;
    t.y = 0;
    t.cx = 200;
    t.cy = 100;
    t.fontFace = "MS Shell Dlg";
    t.pointSize = 18;
    t.items = {
        {1000, WC_BUTTON, "START", 10, 60, 50, 20, WS_CHILD | WS_VISIBLE | WS_TABSTOP},
        {1001, WC_BUTTON, "CANCEL", 100, 60, 50, 20, WS_CHILD | WS_VISIBLE | WS_TABSTOP},
        {1006, WC_EDIT, "", 0, 4, 200, 20, WS_CHILD | WS_VISIBLE | ES_CENTER | ES_MULTILINE | ES_READONLY},
        {1003, WC_PROGRESS, "", 10, 30, 180, 10, WS_CHILD | WS_VISIBLE | WS_BORDER},
        {-1, WC_STATIC, "label", 0, 90, 60, 8, WS_CHILD | WS_VISIBLE},
    };
    return t;
}

ControlState stateOf(HWND dialog, int id) {
    auto all = describeControls(dialog);
    EXPECT_TRUE(all.ok());
    for (const auto& c : *all)
        if (c.id == id && c.parent == dialog) return c;
    ADD_FAILURE() << "no control " << id;
    return {};
}

}  // namespace

TEST(Dialog, TemplateInDialogUnitsFollowsTheDialogFont) {
    Dialog d(sampleTemplate());
    Size unit = averageCharSize(*d.dialogFont());
    EXPECT_EQ(d.baseUnitX(), unit.cx);
    EXPECT_EQ(d.baseUnitY(), unit.cy);
    ASSERT_EQ(d.createModeless(), ERROR_SUCCESS);
    Rect r;
    ASSERT_TRUE(getWindowRect(d.itemHandle(1001), &r));
    // x 100 du, width 50 du, y 60 du, height 20 du.
    EXPECT_EQ(r.left, (100 * unit.cx + 2) / 4);
    EXPECT_EQ(r.width(), (50 * unit.cx + 2) / 4);
    EXPECT_EQ(r.top, (60 * unit.cy + 4) / 8);
    EXPECT_EQ(r.height(), (20 * unit.cy + 4) / 8);
    Rect whole;
    getWindowRect(d.hwnd(), &whole);
    EXPECT_EQ(whole.width(), (200 * unit.cx + 2) / 4);
    EXPECT_EQ(stateOf(d.hwnd(), 1001).text, "CANCEL");
}

TEST(Dialog, ControlsAreDrivenByMessagesAndTheModalResultIsTheEndDialogValue) {
    Dialog d(sampleTemplate());
    d.onCommand(1000, [&] { d.endDialog(77); });
    d.on(WM_INITDIALOG, [&](WPARAM, LPARAM) -> LRESULT {
        HWND bar = getDlgItem(d.hwnd(), 1003);
        EXPECT_EQ(stateOf(d.hwnd(), 1003).rangeMax, 100);
        sendMessage(bar, PBM_SETRANGE, 0, makeLParam(0, 240));
        EXPECT_EQ(sendMessage(bar, PBM_SETPOS, 120, 0), 0);
        EXPECT_EQ(sendMessage(bar, PBM_GETPOS, 0, 0), 120);
        EXPECT_EQ(sendMessage(bar, PBM_GETRANGE, 0, 0), 240);
        sendMessage(bar, PBM_SETPOS, 500, 0);  // kept inside the range
        ControlState s = stateOf(d.hwnd(), 1003);
        EXPECT_TRUE(s.hasRange);
        EXPECT_EQ(s.rangeMax, 240);
        EXPECT_EQ(s.pos, 240);

        setWindowText(getDlgItem(d.hwnd(), 1006), "New software has been detected.\r\n\r\nPress START.");
        EXPECT_EQ(getWindowText(getDlgItem(d.hwnd(), 1006)), "New software has been detected.\r\n\r\nPress START.");
        showWindow(getDlgItem(d.hwnd(), 1001), SW_HIDE);
        EXPECT_FALSE(stateOf(d.hwnd(), 1001).visible);
        enableWindow(getDlgItem(d.hwnd(), 1000), false);
        sendMessage(getDlgItem(d.hwnd(), 1000), BM_CLICK, 0, 0);  // disabled: nothing happens
        EXPECT_FALSE(d.ended());
        enableWindow(getDlgItem(d.hwnd(), 1000), true);
        postMessage(getDlgItem(d.hwnd(), 1000), BM_CLICK, 0, 0);
        return 1;
    });
    EXPECT_EQ(d.runModal(), 77);
    EXPECT_FALSE(d.exists());
    EXPECT_EQ(d.runModal(), 77) << "a page runs again for every attempt";
}

TEST(Dialog, EndDialogDuringInitialisationEndsTheModalRunWithItsValue) {
    Dialog d(sampleTemplate());
    bool shown = false;
    d.on(WM_INITDIALOG, [&](WPARAM, LPARAM) -> LRESULT {
        d.endDialog(IDCANCEL);
        return 1;
    });
    d.on(WM_SHOWWINDOW, [&](WPARAM, LPARAM) -> LRESULT {
        shown = true;
        return 0;
    });
    EXPECT_EQ(d.runModal(), IDCANCEL);
    EXPECT_FALSE(d.exists());
    EXPECT_FALSE(shown) << "a dialog ended in its initialisation is never shown";
}

TEST(Dialog, PenInputIsHitTestedToTheControlUnderIt) {
    DialogTemplate t = sampleTemplate();
    t.x = 300;  // somewhere on the screen, away from other tests' windows
    t.exStyle = WS_EX_TOPMOST;
    Dialog d(t);
    int clicks = 0;
    d.onCommand(1000, [&] { ++clicks; });
    ASSERT_EQ(d.createModeless(), ERROR_SUCCESS);
    Rect button;
    getWindowRect(d.itemHandle(1000), &button);
    Point centre{(button.left + button.right) / 2, (button.top + button.bottom) / 2};
    auto pump = [] {
        Msg m;
        while (peekMessage(&m, 0, 0, 0, PM_REMOVE)) dispatchMessage(&m);
    };

    ASSERT_EQ(injectPen(centre, PenAction::Tap), ERROR_SUCCESS);
    pump();
    EXPECT_EQ(clicks, 1);

    // Down on the button, up outside it: the press is cancelled, no click.
    injectPen(centre, PenAction::Down);
    pump();
    EXPECT_EQ(getCapture(), d.itemHandle(1000));
    injectPen(Point{button.right + 40, button.bottom + 40}, PenAction::Up);
    pump();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(getCapture(), 0u);

    enableWindow(d.itemHandle(1000), false);
    injectPen(centre, PenAction::Tap);
    pump();
    EXPECT_EQ(clicks, 1);

    // A plain static text lets the tap through to the page under it.
    Point onPage{-1, -1};
    d.on(WM_LBUTTONDOWN, [&](WPARAM, LPARAM l) -> LRESULT {
        onPage = Point{static_cast<int>(loWord(static_cast<uintptr_t>(l))), static_cast<int>(hiWord(static_cast<uintptr_t>(l)))};
        return 0;
    });
    ControlState label = describeControls(d.hwnd())->back();
    ASSERT_EQ(label.className, WC_STATIC);
    Rect page;
    getWindowRect(d.hwnd(), &page);
    injectPen(Point{page.left + label.rect.left + 2, page.top + label.rect.top + 2}, PenAction::Tap);
    pump();
    EXPECT_EQ(onPage.x, label.rect.left + 2);
    EXPECT_EQ(onPage.y, label.rect.top + 2);
}

namespace {

// A program's own static that paints itself, like a transparent status line over a picture.
class RedStatic : public Static {
public:
    void paint(Dc& dc) override { dc.fillRect(dc.getClipBox(), createSolidBrush(RGB(255, 0, 0))); }
};

}  // namespace

TEST(Dialog, AttachedControlPaintsItselfAndTheWindowImageComposesChildren) {
    DialogTemplate t = sampleTemplate();
    t.x = 10;
    Dialog d(t);
    RedStatic own;
    d.attachItem(1006, own);
    ASSERT_EQ(d.createModeless(), ERROR_SUCCESS);
    EXPECT_EQ(d.item(1006), &own);
    updateWindow(d.hwnd());

    Rect edit;
    getWindowRect(own.hwnd(), &edit);
    Rect dialog;
    getWindowRect(d.hwnd(), &dialog);
    auto image = captureWindow(d.hwnd());
    ASSERT_TRUE(image.ok());
    int x = (edit.left + edit.right) / 2 - dialog.left;
    int y = (edit.top + edit.bottom) / 2 - dialog.top;
    EXPECT_EQ((*image)->pixel(x, y), 0xFF0000u);

    showWindow(own.hwnd(), SW_HIDE);  // the dialog's own pixels show through again
    image = captureWindow(d.hwnd());
    EXPECT_EQ((*image)->pixel(x, y), pixelFromColor(d.background()));

    // Drawing outside WM_PAINT shows at once.
    showWindow(own.hwnd(), SW_SHOW);
    {
        ClientDc dc(own.hwnd());
        ASSERT_TRUE(dc.ok());
        dc->fillRect(Rect{0, 0, 4000, 4000}, createSolidBrush(RGB(0, 0, 255)));
    }
    image = captureWindow(d.hwnd());
    EXPECT_EQ((*image)->pixel(x, y), 0x0000FFu);
}

TEST(Dialog, MessageBoxIsPressedThroughItsOkButton) {
    Window driver;
    ASSERT_EQ(driver.create({"Driver", "driver", WS_POPUP, 0, {0, 0, 10, 10}, 0, 0}), ERROR_SUCCESS);
    driver.on(WM_TIMER, [&](WPARAM, LPARAM) -> LRESULT {
        HWND box = findWindow("Please Check!");
        if (box) {
            EXPECT_TRUE(isWindowVisible(box));
            postMessage(getDlgItem(box, IDOK), BM_CLICK, 0, 0);
        }
        return 0;
    });
    setTimer(driver.hwnd(), 1, 20);
    EXPECT_EQ(messageBox(0, "Please Check! VR DB Files.", "Please Check!"), IDOK);
    EXPECT_EQ(findWindow("Please Check!"), 0u);
}

TEST(Dialog, UnknownControlClassFailsTheDialog) {
    DialogTemplate t = sampleTemplate();
    t.items.push_back({1200, "NoSuchClass", "", 0, 0, 10, 10, WS_CHILD});
    Dialog d(t);
    EXPECT_EQ(d.runModal(), -1);
    EXPECT_FALSE(d.exists());
}
