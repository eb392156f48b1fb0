#pragma once
// CTransparentStatic: the status line, drawn by the installer itself over its background.
//
// The line's text changes many times a second during a run and must appear at once, while
// the user-interface thread is busy copying; so the dialog draws it directly (SetStatusText),
// and this control only redraws the same picture when the window system asks for a repaint:
// the matching piece of the background, then the text in black.

#include <string>

#include "platform/gfx/dc.h"
#include "platform/ui/controls.h"

namespace installer {

// Where the status line sits, in pixels of the dialog and of the background bitmap.
inline constexpr ce::Rect kStatusRect{117, 169, 117 + 568, 169 + 50};

class CTransparentStatic : public ce::Static {
public:
    // Stores the text to show (and gives it to the window, so tools can read it).
    void SetText(const std::string& text);
    const std::string& Text() const { return m_strText; }

    void paint(ce::Dc& dc) override;

    // Copies the piece of bitmap 131 under the status line onto rect of dc.
    static void DrawBackground(ce::Dc& dc, const ce::Rect& rect);

private:
    std::string m_strText;
};

}  // namespace installer
