#pragma once
// The guidance panel's two layouts: the horizontal strip (800 x 150) and the vertical column
// (250 x 480). Both show the background, buttons 1 (orientation) and 2 (expand/collapse) and
// text cells 0 to 4, 6 and 7; the list, static images, captions and the keyboard stay off.
// The icon areas are drawn by the guidance rendering, not by the layout.

#include "panel/browser/panel_layout.h"
#include "platform/ui/types.h"

namespace panel {

// Cells of the panel.
enum PanelCell : int {
    CELL_SPEED = 0,
    CELL_SPEED_UNIT = 1,
    CELL_DISTANCE = 2,
    CELL_ROAD_NAME_1 = 3,
    CELL_ROAD_NAME_2 = 4,
    CELL_SAFETY_TEXT = 6,
    CELL_CAMERA_DISTANCE = 7,
};

// Buttons of the panel.
enum PanelButtonIndex : int { BUTTON_ORIENTATION = 1, BUTTON_EXPAND = 2 };

// Messages the panels post on a released button (wParam the button index).
inline constexpr ce::UINT WM_HORIZONTAL_BUTTON = 1074;
inline constexpr ce::UINT WM_VERTICAL_BUTTON = 1075;

// Icon areas: the rectangle restored from the background, and where the icon goes.
struct IconArea {
    ce::Rect rect;
    ce::Point at;
};
IconArea TurnIconArea(bool horizontal);
IconArea SafetyIconArea(bool horizontal);

PanelLayout HorizontalLayout(CImageStore* store);
PanelLayout VerticalLayout(CImageStore* store);

}  // namespace panel
