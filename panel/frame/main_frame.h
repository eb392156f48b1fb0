#pragma once
// CMainFrame: the panel program's top-level window "ORV_KELO_ZEK" and the two panels it hosts
// (HorizontalPanel, 800 x 150, and VerticalPanel, 250 x 480, both at 0, 0; the one that
// g_ConfigInfo names is raised over the other). It talks to the navigation program ("Kelo")
// with window messages only: the registered broadcast codes, the show/hide request, the
// guidance subscription, and WM_COPYDATA records; its own buttons come back from the panels
// as 1074 and 1075.
//
// The window is created at an empty rectangle: the framework shows it once at the end of
// start-up, and until the first show request places it, it covers nothing and takes no taps.

#include <string>

#include "panel/browser/browser_wnd.h"
#include "panel/guidance/guidance_renderer.h"
#include "platform/ui/window.h"

namespace panel {

class CImageStore;

inline constexpr const char* kFontFilePath = "\\NAND Flash\\ZEK\\NanumGothic.ttf";

// The main window's rectangle for an orientation and expansion.
ce::Rect PanelRect(bool horizontal, bool expanded);

class CMainFrame : public ce::Window {
public:
    // Adds the font file and logs the start.
    explicit CMainFrame(CImageStore& store);
    // Logs the end and removes the font file.
    ~CMainFrame() override;

    // Creates the window, its panels and the subscription; false when the window cannot be made.
    bool LoadFrame();

    ce::LRESULT windowProc(ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam) override;

    CBrowserWnd& HorizontalPanel() { return m_HorizontalPanel; }
    CBrowserWnd& VerticalPanel() { return m_VerticalPanel; }
    CBrowserWnd& CurrentPanel();
    bool IsShown() const { return m_bShown; }
    const GuidanceState& Guidance() const { return m_Guide; }
    int Speed() const { return m_nSpeed; }
    ce::UINT BroadcastMessage() const { return m_nBroadcastMsg; }

private:
    int OnCreate();
    void CreatePanels();
    void OnBroadcast(ce::WPARAM code, ce::LPARAM argument);
    void OnPanelButton(bool fromHorizontal, ce::WPARAM button);
    void ToggleOrientation();
    void ToggleExpansion(bool fromHorizontal);
    void ResizeForExpansion(bool fromHorizontal);
    void OnShowRequest(bool show);
    void OnTimer(uintptr_t id);
    ce::LRESULT OnCopyData(ce::LPARAM lParam);

    // The navigation program.
    void SetKeloGuideInfo(bool on);
    void RequestGuidance();
    void PostSubscription(bool on);

    // Placement.
    void PlacePanel();
    void HidePanel();
    static void RaisePanel(CBrowserWnd& panel);
    void BlankGuidanceCells(CBrowserWnd& panel);
    PanelPair Panels();

    CImageStore& m_Store;
    CBrowserWnd m_HorizontalPanel;
    CBrowserWnd m_VerticalPanel;
    ce::UINT m_nBroadcastMsg = 0;
    ce::HWND m_hOwnWnd = 0;
    bool m_bShown = false;
    GuidanceState m_Guide;
    int m_nSpeed = 0;
    std::u16string m_strSpeed;
};

}  // namespace panel
