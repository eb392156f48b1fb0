// The main frame's life: start-up in both saved states, the font file, the profile value,
// show and hide timing, and the broadcast codes of the navigation program.

#include "panel/tests/frame_fixture.h"

#include "panel/frame/app_profile.h"
#include "platform/core/registry.h"
#include "platform/core/time.h"

namespace panel::testing {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

TEST_F(FrameTest, StartsHiddenAtAnEmptyRectangleSubscribedAndExpanded) {
    Start();
    EXPECT_EQ(Lines(log.text(ce::OutputChannel::Debug)),
              (std::vector<std::string>{"AddFontResource Fail", "### Kelo ZEK Start!!!",
                                        "====================================",
                                        "Kelo ZEK Program Start =============",
                                        "====================================", "g_ConfigInfo.m_nScreenType : 0",
                                        "g_ConfigInfo.m_bOnOff : 1", "Set_Kelo_Guide_Info Ret : 1, On : 1"}));
    EXPECT_EQ(ce::getWindowText(frame->hwnd()), "ORV_KELO_ZEK");
    EXPECT_EQ(ce::findWindow("ORV_KELO_ZEK"), frame->hwnd());
    EXPECT_TRUE(ce::isWindowVisible(frame->hwnd()));  // shown once by the framework...
    EXPECT_TRUE(WindowRect().empty());                // ...where it covers nothing
    EXPECT_EQ(ce::injectPen({0, 0}, ce::PenAction::Tap), ce::ERROR_INVALID_HANDLE);
    EXPECT_FALSE(frame->IsShown());

    ce::Rect child;
    ASSERT_TRUE(ce::getWindowRect(frame->HorizontalPanel().hwnd(), &child));
    EXPECT_EQ(child, (ce::Rect{0, 0, 800, 150}));
    EXPECT_EQ(ce::getDlgCtrlID(frame->HorizontalPanel().hwnd()), 1001);
    ASSERT_TRUE(ce::getWindowRect(frame->VerticalPanel().hwnd(), &child));
    EXPECT_EQ(child, (ce::Rect{0, 0, 250, 480}));
    EXPECT_EQ(ce::getDlgCtrlID(frame->VerticalPanel().hwnd()), 1002);
    EXPECT_EQ(frame->HorizontalPanel().ButtonValue(BUTTON_EXPAND), 1);
    EXPECT_EQ(frame->VerticalPanel().ButtonValue(BUTTON_EXPAND), 1);

    ASSERT_EQ(navigation->Of(kCopySubscribe).size(), 1u);
    EXPECT_EQ(navigation->Of(kCopySubscribe)[0].wParam, frame->hwnd());
    auto key = ce::RegKey::open(ce::Hive::CurrentUser, ProfileSectionPath("data"));
    ASSERT_TRUE(key);
    EXPECT_EQ(*key->readDword("hwnd"), frame->hwnd());
    EXPECT_EQ(ReadConfig(), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));

    Show();
    EXPECT_EQ(WindowRect(), (ce::Rect{0, 0, 250, 480}));
    EXPECT_EQ(ShownSalt(), kVerticalSalt);
    frame.reset();
    EXPECT_TRUE(log.contains("### Kelo ZEK End!!!\r\n"));
}

TEST_F(FrameTest, StartsCollapsedAsSaved) {
    Start({0, 0, 0, 0, 1, 0, 0, 0});
    EXPECT_TRUE(log.contains("g_ConfigInfo.m_nScreenType : 1\r\ng_ConfigInfo.m_bOnOff : 0\r\n"));
    ASSERT_EQ(navigation->Of(kCopySubscribe).size(), 1u);
    EXPECT_EQ(navigation->Of(kCopySubscribe)[0].wParam, 0u);  // subscribed off
    for (CBrowserWnd* panel : {&frame->HorizontalPanel(), &frame->VerticalPanel()}) {
        EXPECT_EQ(panel->ButtonValue(BUTTON_EXPAND), 0);
        EXPECT_FALSE(panel->Layout().cells[CELL_SAFETY_TEXT].enabled);
        EXPECT_EQ(panel->CellText(CELL_DISTANCE), u" ");
    }
    Show();
    EXPECT_EQ(WindowRect(), (ce::Rect{0, 330, 40, 480}));  // a 40-pixel strip
    EXPECT_EQ(ShownSalt(), kHorizontalSalt);
    const ce::Surface shot = Panel();  // the "off" image of button 2, keyed with 0x808080
    EXPECT_EQ(shot.pixel(30, 90 + 40), IconPixel(IMG_BUTTON_OFF_NORMAL));
    EXPECT_EQ(shot.pixel(5, 95), PositionPixel(5, 95, kHorizontalSalt));
    EXPECT_TRUE(log.contains("[Kelo ZEK] Show 0\r\n"));
}

TEST_F(FrameTest, TheInstalledFontFileIsAddedForTheProgramsLife) {
    std::filesystem::copy_file("/usr/share/fonts/truetype/nanum/NanumGothic.ttf", HeadUnit().nand() / "ZEK" / "NanumGothic.ttf",
                               std::filesystem::copy_options::overwrite_existing);
    Start();
    EXPECT_TRUE(log.contains("AddFontResource True\r\n"));
    frame.reset();
    EXPECT_FALSE(ce::removeFontResource(kFontFilePath));  // the frame removed it already
    std::filesystem::remove(HeadUnit().nand() / "ZEK" / "NanumGothic.ttf");
}

TEST_F(FrameTest, WithoutTheNavigationProgramNothingIsSentAndNothingFails) {
    Start({1, 0, 0, 0, 0, 0, 0, 0}, false);
    EXPECT_TRUE(log.contains("Set_Kelo_Guide_Info Ret : 0, On : 1\r\n"));
    Show();
    PumpFor(1200);  // a request tick without a window to ask
    EXPECT_TRUE(frame->IsShown());
}

TEST_F(FrameTest, ASecondShowRequestPostponesAndAHideCancels) {
    Start();
    ce::postMessage(frame->hwnd(), WM_SHOW_PANEL, 1, 0);
    PumpFor(1500);
    EXPECT_FALSE(frame->IsShown());
    const uint32_t second = ce::tickCount();
    ce::postMessage(frame->hwnd(), WM_SHOW_PANEL, 1, 0);
    ASSERT_TRUE(PumpUntil([&] { return frame->IsShown(); }, 10000));
    EXPECT_GE(ce::tickCount() - second, 1990u);  // 2 s after the second request, not the first
    EXPECT_TRUE(ce::isWindowVisible(frame->hwnd()));

    ce::postMessage(frame->hwnd(), WM_SHOW_PANEL, 0, 0);
    PumpFor(0);
    EXPECT_FALSE(frame->IsShown());
    EXPECT_FALSE(ce::isWindowVisible(frame->hwnd()));
    EXPECT_EQ(WindowRect(), (ce::Rect{0, 0, 250, 480}));  // hidden where it was
    EXPECT_EQ(ce::enumTopLevelWindows().back().hwnd, frame->hwnd());  // at the bottom
    EXPECT_EQ(navigation->received.back().dwData, kCopySubscribe);
    EXPECT_EQ(navigation->received.back().wParam, 0u);

    ce::postMessage(frame->hwnd(), WM_SHOW_PANEL, 1, 0);
    PumpFor(500);
    ce::postMessage(frame->hwnd(), WM_SHOW_PANEL, 0, 0);
    PumpFor(2500);
    EXPECT_FALSE(frame->IsShown());
    EXPECT_FALSE(ce::isWindowVisible(frame->hwnd()));
    EXPECT_TRUE(log.contains("[Kelo ZEK] Hide\r\n"));
}

TEST_F(FrameTest, WhileShownAndExpandedTheNavigationIsAskedEverySecond) {
    Start();
    navigation->answer = GuidanceInfo{};
    navigation->answer->distance = 420;
    PumpFor(1300);
    EXPECT_TRUE(navigation->Of(kCopyRequest).empty());  // not while hidden
    Show();
    ASSERT_TRUE(PumpUntil([&] { return navigation->Of(kCopyRequest).size() >= 2; }, 5000));
    EXPECT_EQ(frame->VerticalPanel().CellText(CELL_DISTANCE), u"420 m");
    EXPECT_EQ(navigation->Of(kCopyRequest)[0].wParam, 0u);
}

TEST_F(FrameTest, BroadcastCodes) {
    Start();
    Broadcast(BM_END_ROUTESEARCH);
    Broadcast(BM_SET_START);
    Broadcast(BM_SET_GOAL);
    Broadcast(1001);
    Broadcast(4242);
    EXPECT_TRUE(log.contains("[Kelo ZEK] BM_END_ROUTESEARCH\r\n[Kelo ZEK] BM_SET_START\r\n[Kelo ZEK] BM_SET_GOAL\r\n"));

    Broadcast(BM_CURRENT_SPEED, 57);  // only the current (vertical) panel
    EXPECT_EQ(frame->Speed(), 57);
    EXPECT_EQ(frame->VerticalPanel().CellText(CELL_SPEED), u"057");
    EXPECT_EQ(frame->VerticalPanel().CellText(CELL_SPEED_UNIT), u"Km/h");
    EXPECT_EQ(frame->HorizontalPanel().CellText(CELL_SPEED), u"");

    Broadcast(BM_RAISE_PANEL);  // hidden: nothing
    EXPECT_TRUE(WindowRect().empty());
    frame->HorizontalPanel().SetCellText(CELL_DISTANCE, u"1 m");
    Broadcast(BM_END_GUIDE);  // hidden: cells blanked, stays hidden
    EXPECT_EQ(frame->HorizontalPanel().CellText(CELL_DISTANCE), u" ");
    EXPECT_FALSE(ce::isWindowVisible(frame->hwnd()));

    Show();
    ce::setForegroundWindow(navigation->hwnd());
    Broadcast(BM_RAISE_PANEL);
    EXPECT_EQ(ce::getForegroundWindow(), frame->hwnd());
    ce::setForegroundWindow(navigation->hwnd());
    Broadcast(BM_END_GUIDE);  // shown: hidden, then placed again in front
    EXPECT_TRUE(ce::isWindowVisible(frame->hwnd()));
    EXPECT_EQ(ce::getForegroundWindow(), frame->hwnd());
    EXPECT_EQ(WindowRect(), (ce::Rect{0, 0, 250, 480}));

    const ce::HWND window = frame->hwnd();
    Broadcast(BM_NOTIFY_DESTROY);
    EXPECT_TRUE(log.contains("[Kelo ZEK] BM_NOTIFY_DESTROY\r\n"));
    EXPECT_FALSE(ce::isWindow(window));
}

}  // namespace
}  // namespace panel::testing
