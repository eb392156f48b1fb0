#include "panel/guidance/guidance_renderer.h"

#include <climits>
#include <optional>

#include "panel/browser/browser_wnd.h"
#include "panel/guidance/guidance_codes.h"
#include "panel/guidance/panel_layouts.h"
#include "panel/images/image_store.h"
#include "platform/ui/paint.h"

namespace panel {

namespace {

// The repeat rule shared by the turn and the safety code.
void CountRepeats(int code, int& previous, int& repeat) {
    if (code != previous) {
        repeat = 0;
        previous = code;
    } else if (repeat < INT_MAX) {
        ++repeat;
    }
}

// Restores the area from the panel's background, then draws the icon (if any) over it.
void DrawIconArea(CBrowserWnd& panel, CImageStore& store, const IconArea& area, std::optional<IconChoice> icon) {
    ce::ClientDc dc(panel.hwnd());
    if (!dc.ok()) return;
    const ce::Rect& r = area.rect;
    store.DrawPart(dc, panel.Layout().background, r.left, r.top, r.width(), r.height(), r.left, r.top, ce::SRCCOPY);
    if (!icon) return;
    if (icon->keyed) store.SetKeyed(true, kTurnKeyColor);
    store.Draw(dc, icon->imageId, area.at.x, area.at.y);
    store.SetKeyed(false, 0);
}

void ClearSafetyCells(const PanelPair& panels) {
    for (CBrowserWnd* panel : {&panels.horizontal, &panels.vertical}) {
        panel->SetCellText(CELL_SAFETY_TEXT, u" ");
        panel->SetCellText(CELL_CAMERA_DISTANCE, u" ");
    }
}

void DrawTurn(const GuidanceInfo& info, GuidanceState& state, const PanelPair& panels, CImageStore& store) {
    state.m_nTurnCode = info.turnCode;
    CountRepeats(state.m_nTurnCode, state.m_nPrevTurnCode, state.m_nTurnRepeat);
    if (state.m_nTurnRepeat >= 2) return;
    const auto icon = TurnIconFor(state.m_nTurnCode);
    if (icon) DrawIconArea(panels.Current(), store, TurnIconArea(panels.horizontalCurrent), icon);
}

void DrawSafetyText(SafetyShow kind, const GuidanceInfo& info, GuidanceState& state, const PanelPair& panels) {
    CBrowserWnd& panel = panels.Current();
    std::u16string text = u" ";
    state.m_strCameraDistance = u" ";
    if (info.cameraDistance != 0) {
        text = SafetyText(kind, info.speedLimit);
        state.m_strCameraDistance = CameraDistanceText(info.cameraDistance);
        state.m_nBlink = state.m_nBlink == 0 ? 1 : 0;
        panel.Layout().cells[CELL_CAMERA_DISTANCE].color = state.m_nBlink == 1 ? kBlinkRed : kBlinkGreen;
    }
    panel.SetCellText(CELL_SAFETY_TEXT, text);
    panel.SetCellText(CELL_CAMERA_DISTANCE, state.m_strCameraDistance);
}

void DrawSafety(const GuidanceInfo& info, GuidanceState& state, const PanelPair& panels, CImageStore& store) {
    state.m_nSafetyCode = info.safetyCode;
    CountRepeats(state.m_nSafetyCode, state.m_nPrevSafetyCode, state.m_nSafetyRepeat);
    const bool repeated = state.m_nSafetyRepeat > 1;
    const IconArea area = SafetyIconArea(panels.horizontalCurrent);
    switch (const SafetyShow show = SafetyShowFor(state.m_nSafetyCode)) {
        case SafetyShow::Icon:
            ClearSafetyCells(panels);
            DrawIconArea(panels.Current(), store, area,
                         repeated ? std::nullopt : std::optional<IconChoice>(IconChoice{SafetyIconFor(state.m_nSafetyCode), false}));
            break;
        case SafetyShow::Text1:
        case SafetyShow::Text2:
        case SafetyShow::Text3:
            DrawSafetyText(show, info, state, panels);
            break;
        case SafetyShow::Clear:
            ClearSafetyCells(panels);
            DrawIconArea(panels.Current(), store, area, std::nullopt);
            break;
    }
}

// A road name: an empty one blanks its cell every time; another is drawn only on change.
void DrawRoadName(const std::u16string& name, std::u16string& current, std::u16string& previous, CBrowserWnd& panel,
                  int cell) {
    current = name;
    if (current.empty()) {
        previous.clear();
        panel.SetCellText(cell, u" ");
    } else if (current != previous) {
        previous = current;
        panel.SetCellText(cell, current);
    }
}

}  // namespace

void RenderGuidance(const GuidanceInfo& info, GuidanceState& state, const PanelPair& panels, CImageStore& store) {
    state.m_strDistance = DistanceText(info.distance);
    panels.Current().SetCellText(CELL_DISTANCE, state.m_strDistance);
    DrawTurn(info, state, panels, store);
    DrawSafety(info, state, panels, store);
    DrawRoadName(info.roadName1, state.m_strRoadName1, state.m_strPrevRoadName1, panels.Current(), CELL_ROAD_NAME_1);
    DrawRoadName(info.roadName2, state.m_strRoadName2, state.m_strPrevRoadName2, panels.Current(), CELL_ROAD_NAME_2);
}

}  // namespace panel
