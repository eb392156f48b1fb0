#pragma once
// Turning guidance records into what the panel shows: the distance, the turn icon, the
// safety icon or text with the blinking camera distance, and the road names.
//
// Icons are drawn only for the first two records of a run of equal codes and road names
// only when they change, because records arrive every second; the distance, the safety
// texts and the blink colour are drawn on every record. Icons go straight onto the current
// panel over its restored background and are not part of the panel's stored picture: a full
// repaint removes them until the next record draws them again.

#include <string>

#include "panel/guidance/guidance_record.h"

namespace panel {

class CBrowserWnd;
class CImageStore;

// What the main window remembers between records.
struct GuidanceState {
    int m_nTurnCode = 0;
    int m_nPrevTurnCode = 0;
    int m_nSafetyCode = 0;
    int m_nPrevSafetyCode = 0;
    int m_nTurnRepeat = 0;    // records in a row with the same turn code, minus one
    int m_nSafetyRepeat = 0;  // the same for the safety code
    std::u16string m_strDistance;
    std::u16string m_strRoadName1, m_strRoadName2;
    std::u16string m_strPrevRoadName1, m_strPrevRoadName2;
    std::u16string m_strCameraDistance;
    int m_nBlink = 0;  // flips with each camera distance shown; never reset

    void ResetRepeatCounts() { m_nTurnRepeat = m_nSafetyRepeat = 0; }
    void ForgetRoadNames() {
        m_strPrevRoadName1.clear();
        m_strPrevRoadName2.clear();
    }
};

// The two panels and which one is in use.
struct PanelPair {
    CBrowserWnd& horizontal;
    CBrowserWnd& vertical;
    bool horizontalCurrent;
    CBrowserWnd& Current() const { return horizontalCurrent ? horizontal : vertical; }
};

void RenderGuidance(const GuidanceInfo& info, GuidanceState& state, const PanelPair& panels, CImageStore& store);

}  // namespace panel
