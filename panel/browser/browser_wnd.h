#pragma once
// CBrowserWnd: the panel program's skinned child window. Everything it shows comes from its
// PanelLayout (background, up to 40 static images, 80 image buttons with captions, 16 text
// cells, a list with scroll bar and page indicator) plus the run-time cell texts and button
// values; taps and keys become messages posted to the program's main window.
//
// A WM_PAINT composes the whole window in the shared BackBuffer and copies it to the window
// in one piece. Between paints each cell or button that changes is redrawn on its own, at
// once, through a small surface of its own size, so the screen never shows a half-drawn
// element. Drawing stops as soon as the window is being destroyed.

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "panel/browser/focus_order.h"
#include "panel/browser/panel_layout.h"
#include "panel/browser/panel_list.h"
#include "platform/ui/window.h"

namespace panel {

class DrawSurface;

inline constexpr uintptr_t kMarqueeTimer = 1001;
inline constexpr uint32_t kMarqueePeriodMs = 1000;

class CBrowserWnd : public ce::Window {
public:
    CBrowserWnd();
    ~CBrowserWnd() override;

    // Copies the layout, takes the list's initial activity, builds the focus order when the
    // keyboard is on, and creates the BackBuffer the first time.
    void SetLayout(const PanelLayout& layout);
    // A visible child window "BrowserWnd" at x, y of the parent; starts timer 1001 when a cell or
    // the list rotates its text.
    bool Create(ce::HWND parent, int x, int y, int width, int height, int id);

    // False (nothing changed) for an index outside 0..15. Stores the text and draws the cell.
    bool SetCellText(int index, std::u16string_view text);
    // False for an index outside 0..79. Stores the value (the image column) and draws the button.
    bool SetButtonValue(int index, int value);

    // The window's own copy of the layout (cell enabled flags and colours change at run time).
    PanelLayout& Layout() { return m_Layout; }
    const std::u16string& CellText(int index) const { return m_CellTexts.at(static_cast<size_t>(index)); }
    int ButtonValue(int index) const { return m_ButtonValues.at(static_cast<size_t>(index)); }
    bool IsPressed(int index) const { return m_Pressed.at(static_cast<size_t>(index)); }
    int LastPressed() const { return m_nLastPressed; }
    int FocusedItem() const { return m_Focus.Current(); }
    const FocusOrder& Focus() const { return m_Focus; }
    bool IsMarqueeTimerRunning() const { return m_bTimerRunning; }
    // The list and the operations the owner uses on it; Redraw... shows the change at once.
    PanelList& List() { return m_List; }
    void RedrawList();

    ce::LRESULT windowProc(ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam) override;

private:
    // Drawing (browser_paint.cpp).
    void WithTarget(const std::function<void(ce::Dc&)>& draw);
    void OnPaint();
    void PartialRedraw();
    void DrawBackgroundPart(ce::Dc& dc, int x, int y, int width, int height);
    void DrawStatic(ce::Dc& dc, int index);
    void DrawButton(int index);
    void DrawButtonOn(ce::Dc& dc, int index);
    void DrawCaption(ce::Dc& dc, int index, int state);
    void DrawCell(int index, bool withBackground);
    void DrawCellOn(ce::Dc& dc, int index, bool withBackground);
    void DrawCellText(ce::Dc& dc, TextCell& cell, const std::u16string& text, const ce::Rect& rect, bool advance);
    int ButtonState(int index) const;

    // The list (browser_list.cpp).
    bool ListUsable() const;
    void DrawListOn(ce::Dc& dc);
    void DrawListRow(ce::Dc& dc, int row);
    void DrawScrollBarOn(ce::Dc& dc);
    void DrawPageIndicatorOn(ce::Dc& dc);
    void RunScrollAction(int action, int amount);
    void ApplyScroll(int kind, const ScrollOutcome& outcome);
    bool ListPress(ce::Point point);
    bool ListRelease(ce::Point point);

    // Input (browser_input.cpp).
    void OnPenDown(ce::Point point, bool capture);
    void OnPenUp(ce::Point point);
    void OnKeyDown(ce::UINT key);
    int HitButton(ce::Point point) const;
    bool CanFocus(int id) const;
    void MoveFocus(bool forward);
    void GiveFocusTo(int id);
    void RedrawItem(int id);
    void Activate();
    void Post(ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam) const;
    ce::HWND MainWindow() const;

    void OnTimer(uintptr_t id);
    void OnDestroy();

    PanelLayout m_Layout{};
    std::array<std::u16string, kCellCount> m_CellTexts;
    std::array<int, kButtonCount> m_ButtonValues{};
    std::array<bool, kButtonCount> m_Pressed{};
    int m_nLastPressed = -1;
    FocusOrder m_Focus;
    PanelList m_List;
    bool m_bPainting = false;
    bool m_bDestroyed = false;
    bool m_bTimerRunning = false;
    bool m_bBarPressed = false;  // a press on the scroll bar waits for its release
};

}  // namespace panel
