// Guidance records on the screen: distance texts, turn icons by class with their repeat
// rule, safety icons erased from the third record on, the three safety texts with the
// blinking camera distance, road names drawn only on change, and records that are refused.

#include "panel/tests/frame_fixture.h"

#include "panel/guidance/guidance_codes.h"
#include "platform/ui/paint.h"

namespace panel::testing {
namespace {

constexpr uint32_t kMark = 0x00FF00;  // painted over an icon area to see whether a record touches it

class GuidanceTest : public FrameTest {
protected:
    void SetUp() override {
        Start();
        Show();
    }
    static GuidanceInfo Record(int turn, int safety = 0, int camera = 0, int limit = 0) {
        GuidanceInfo info;
        info.distance = 500;
        info.turnCode = static_cast<uint8_t>(turn);
        info.safetyCode = static_cast<uint8_t>(safety);
        info.cameraDistance = static_cast<uint16_t>(camera);
        info.speedLimit = static_cast<uint8_t>(limit);
        return info;
    }
    void Mark(const IconArea& area) {
        ce::ClientDc dc(frame->CurrentPanel().hwnd());
        dc->fillRect(area.rect, ce::createSolidBrush(ce::colorFromPixel(kMark)));
    }
    // What the icon area shows: the mark, the background, an icon (its id), or -1 for other.
    int AreaShows(const IconArea& area, int salt) const {
        const ce::Surface shot = Panel();
        const ce::Point keyed{area.at.x + 2, area.at.y + 2};  // in the icons' key block
        const ce::Point solid{area.at.x + 60, area.at.y + 50};
        if (shot.pixel(solid.x, solid.y) == kMark) return -2;
        if (shot.pixel(solid.x, solid.y) == PositionPixel(solid.x, solid.y, salt)) return -3;
        for (int id = 2; id < kImageCount; ++id) {
            if (shot.pixel(solid.x, solid.y) != IconPixel(id)) continue;
            const uint32_t corner = shot.pixel(keyed.x, keyed.y);
            const bool keyedDraw = corner == PositionPixel(keyed.x, keyed.y, salt);
            if (!keyedDraw && corner != kTurnKeyPixel) return -1;
            return keyedDraw ? 1000 + id : id;  // 1000 + id: drawn colour-keyed
        }
        return -1;
    }
    static constexpr int kMarked = -2;
    static constexpr int kBackground = -3;
};

TEST_F(GuidanceTest, DistanceTextOnEveryRecord) {
    for (auto [metres, text] : {std::pair{0u, u" "}, {1000u, u"1000 m"}, {1001u, u"1.0 km"}, {12345u, u"12.3 km"}}) {
        GuidanceInfo info = Record(60);
        info.distance = metres;
        EXPECT_EQ(Send(info), 0);
        EXPECT_EQ(frame->VerticalPanel().CellText(CELL_DISTANCE), std::u16string(text));
    }
    EXPECT_EQ(frame->HorizontalPanel().CellText(CELL_DISTANCE), u"");  // only the current panel
}

TEST_F(GuidanceTest, TurnIconsByClassKeyedOrOpaqueOverTheRestoredBackground) {
    const IconArea area = TurnIconArea(false);
    Send(Record(3));
    EXPECT_EQ(AreaShows(area, kVerticalSalt), 1000 + 5);  // codes 0..22 keyed
    Send(Record(30));
    EXPECT_EQ(AreaShows(area, kVerticalSalt), 32);  // 23..50 opaque
    Send(Record(103));
    EXPECT_EQ(AreaShows(area, kVerticalSalt), 1000 + 53);
    Send(Record(104));
    EXPECT_EQ(AreaShows(area, kVerticalSalt), 1000 + 54);
    EXPECT_FALSE(frame->HorizontalPanel().hwnd() == 0);
    Mark(area);
    Send(Record(60));  // unknown: the icon before stays
    Send(Record(107));
    EXPECT_EQ(AreaShows(area, kVerticalSalt), kMarked);
    EXPECT_FALSE(store.IsKeyed());  // back to opaque drawing after each keyed draw
}

TEST_F(GuidanceTest, ATurnIconIsDrawnForTheFirstTwoRecordsOfARun) {
    const IconArea area = TurnIconArea(false);
    Send(Record(7));
    Mark(area);
    Send(Record(7));  // the second: drawn again
    EXPECT_EQ(AreaShows(area, kVerticalSalt), 1000 + 9);
    Mark(area);
    Send(Record(7));  // the third: left alone
    EXPECT_EQ(AreaShows(area, kVerticalSalt), kMarked);
    EXPECT_EQ(frame->Guidance().m_nTurnRepeat, 2);
    ce::postMessage(frame->hwnd(), WM_SHOW_PANEL, 0, 0);  // a hide resets the counts
    PumpFor(0);
    EXPECT_EQ(frame->Guidance().m_nTurnRepeat, 0);
}

TEST_F(GuidanceTest, IconsAreNotStoredSoAHideAndShowRemovesThemUntilTheNextRecord) {
    const IconArea turn = TurnIconArea(false);
    const IconArea safety = SafetyIconArea(false);
    Send(Record(30, 111));
    EXPECT_EQ(AreaShows(turn, kVerticalSalt), 32);
    EXPECT_EQ(AreaShows(safety, kVerticalSalt), 56);
    ce::postMessage(frame->hwnd(), WM_SHOW_PANEL, 0, 0);
    PumpFor(0);
    Show();  // shown again: the panel paints itself anew from its stored content
    EXPECT_EQ(AreaShows(turn, kVerticalSalt), kBackground);
    EXPECT_EQ(AreaShows(safety, kVerticalSalt), kBackground);
    Send(Record(30, 111));  // the counts started again at the hide, so the icons come back
    EXPECT_EQ(AreaShows(turn, kVerticalSalt), 32);
    EXPECT_EQ(AreaShows(safety, kVerticalSalt), 56);
}

TEST_F(GuidanceTest, SafetyIconsShowTwiceAndTheThirdRecordErasesThem) {
    const IconArea area = SafetyIconArea(false);
    frame->VerticalPanel().SetCellText(CELL_SAFETY_TEXT, u"80 Km");
    Send(Record(60, 111));
    EXPECT_EQ(AreaShows(area, kVerticalSalt), 56);  // opaque
    EXPECT_EQ(frame->VerticalPanel().CellText(CELL_SAFETY_TEXT), u" ");
    EXPECT_EQ(frame->HorizontalPanel().CellText(CELL_CAMERA_DISTANCE), u" ");
    Mark(area);
    Send(Record(60, 111));
    EXPECT_EQ(AreaShows(area, kVerticalSalt), 56);
    Send(Record(60, 111));
    EXPECT_EQ(AreaShows(area, kVerticalSalt), kBackground);
    Send(Record(60, 129));
    EXPECT_EQ(AreaShows(area, kVerticalSalt), 62);
    Send(Record(60, 160, 350, 80));  // a safety text leaves the icon on the screen
    EXPECT_EQ(AreaShows(area, kVerticalSalt), 62);
    Send(Record(60, 99));  // unknown codes clear the area
    EXPECT_EQ(AreaShows(area, kVerticalSalt), kBackground);
}

TEST_F(GuidanceTest, SafetyTextsWithTheBlinkingCameraDistance) {
    CBrowserWnd& panel = frame->VerticalPanel();
    Send(Record(60, 160, 350, 80));
    EXPECT_EQ(panel.CellText(CELL_SAFETY_TEXT), u"80 Km");
    EXPECT_EQ(panel.CellText(CELL_CAMERA_DISTANCE), u"(350m)");
    EXPECT_EQ(panel.Layout().cells[CELL_CAMERA_DISTANCE].color, kBlinkRed);  // first after start: red
    EXPECT_GT(CountPixels(Panel(), {10, 370, 190, 410}, 0xFF0000), 5);
    Send(Record(60, 160, 340, 80));
    EXPECT_EQ(panel.Layout().cells[CELL_CAMERA_DISTANCE].color, kBlinkGreen);
    EXPECT_GT(CountPixels(Panel(), {10, 370, 190, 410}, 0x00FF42), 5);
    EXPECT_EQ(CountPixels(Panel(), {10, 370, 190, 410}, 0xFF0000), 0);
    Send(Record(60, 143, 300, 30));
    EXPECT_EQ(panel.CellText(CELL_SAFETY_TEXT), u"110 Km");  // whatever the limit says
    EXPECT_EQ(panel.Layout().cells[CELL_CAMERA_DISTANCE].color, kBlinkRed);
    Send(Record(60, 246, 120));
    EXPECT_EQ(panel.CellText(CELL_SAFETY_TEXT), u"버스전용");
    Send(Record(60, 246, 0));  // no distance: both blank, the colour stays
    EXPECT_EQ(panel.CellText(CELL_SAFETY_TEXT), u" ");
    EXPECT_EQ(panel.CellText(CELL_CAMERA_DISTANCE), u" ");
    EXPECT_EQ(panel.Layout().cells[CELL_CAMERA_DISTANCE].color, kBlinkGreen);
    EXPECT_EQ(frame->HorizontalPanel().CellText(CELL_SAFETY_TEXT), u"");  // the other panel untouched
}

TEST_F(GuidanceTest, RoadNamesAreDrawnOnChangeAndEmptyOnesBlankEveryTime) {
    CBrowserWnd& panel = frame->VerticalPanel();
    GuidanceInfo info = Record(60);
    info.roadName1 = u"강남대로";
    info.roadName2 = u"Teheran-ro";
    Send(info);
    EXPECT_EQ(panel.CellText(CELL_ROAD_NAME_1), u"강남대로");
    EXPECT_EQ(panel.CellText(CELL_ROAD_NAME_2), u"Teheran-ro");
    panel.SetCellText(CELL_ROAD_NAME_1, u"other");  // unchanged names are not drawn again
    Send(info);
    EXPECT_EQ(panel.CellText(CELL_ROAD_NAME_1), u"other");
    // The subscription blanks the cells but the remembered names survive it...
    ce::sendMessage(frame->hwnd(), WM_GUIDE_SUBSCRIPTION, 1, 0);
    Send(info);
    EXPECT_EQ(panel.CellText(CELL_ROAD_NAME_1), u" ");
    // ...while a button message forgets them.
    ce::sendMessage(frame->hwnd(), WM_VERTICAL_BUTTON, 7, 0);
    Send(info);
    EXPECT_EQ(panel.CellText(CELL_ROAD_NAME_1), u"강남대로");
    info.roadName1.clear();
    Send(info);
    EXPECT_EQ(panel.CellText(CELL_ROAD_NAME_1), u" ");
    panel.SetCellText(CELL_ROAD_NAME_1, u"other");
    Send(info);
    EXPECT_EQ(panel.CellText(CELL_ROAD_NAME_1), u" ");
    EXPECT_EQ(frame->Guidance().m_strPrevRoadName2, u"Teheran-ro");
}

TEST_F(GuidanceTest, RecordsWhileHiddenOrTooShortAreRefusedAndChangeNothing) {
    Send(Record(7));
    const int repeat = frame->Guidance().m_nTurnRepeat;
    std::vector<uint8_t> shortRecord(307, 0);
    const ce::CopyDataStruct cut{kCopyRequest, 307, shortRecord.data()};
    EXPECT_EQ(ce::sendMessage(frame->hwnd(), ce::WM_COPYDATA, 0, reinterpret_cast<ce::LPARAM>(&cut)), -1);
    const ce::CopyDataStruct empty{kCopyRequest, 0, nullptr};
    EXPECT_EQ(ce::sendMessage(frame->hwnd(), ce::WM_COPYDATA, 0, reinterpret_cast<ce::LPARAM>(&empty)), -1);
    EXPECT_EQ(frame->Guidance().m_nTurnRepeat, repeat);
    EXPECT_EQ(frame->Guidance().m_nPrevTurnCode, 7);

    ce::sendMessage(frame->hwnd(), WM_SHOW_PANEL, 0, 0);
    Send(Record(7));
    GuidanceInfo hidden = Record(9);
    hidden.distance = 77;
    EXPECT_EQ(Send(hidden), -1);
    EXPECT_EQ(frame->Guidance().m_nTurnRepeat, 0);
    EXPECT_EQ(frame->Guidance().m_nPrevTurnCode, 7);
    EXPECT_NE(frame->VerticalPanel().CellText(CELL_DISTANCE), u"77 m");
}

TEST_F(GuidanceTest, RecordsStillArriveWhileCollapsed) {
    ASSERT_EQ(ce::injectPen({20, 450}, ce::PenAction::Down), ce::ERROR_SUCCESS);
    PumpFor(0);
    ASSERT_EQ(ce::injectPen({20, 450}, ce::PenAction::Up), ce::ERROR_SUCCESS);
    PumpFor(0);
    ASSERT_FALSE(IsExpanded());
    GuidanceInfo info = Record(60);
    info.distance = 900;
    EXPECT_EQ(Send(info), 0);
    EXPECT_EQ(frame->VerticalPanel().CellText(CELL_DISTANCE), u"900 m");
}

}  // namespace
}  // namespace panel::testing
