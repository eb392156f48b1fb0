#pragma once
// The colours and places the panel's pictures share. Icons are drawn into wells of one plain
// colour that both backgrounds hold at the icon areas (turn arrow 80 x 70 at 360, 32 across and
// 40, 200 down; safety icon at 700, 70 across and 40, 10 down), so an opaque icon sits in its
// well seamlessly and a colour-keyed one shows the well around its arrow. The expand/collapse
// button sits on a plain rail at the left edge, the part that stays visible when the panel is
// collapsed to 40 pixels.

#include "panel/art/art_canvas.h"

namespace panelart {

inline constexpr Rgb kWell{0x16, 0x1E, 0x2A};
inline constexpr Rgb kWellEdge{0x3E, 0x55, 0x72};
inline constexpr Rgb kRail{0x0B, 0x11, 0x1A};
inline constexpr Rgb kPanelTop{0x22, 0x30, 0x44};
inline constexpr Rgb kPanelBottom{0x0F, 0x15, 0x20};
inline constexpr Rgb kDivider{0x2E, 0x3E, 0x56};

inline constexpr Rgb kArrow{0xF4, 0xF7, 0xFA};
inline constexpr Rgb kRoad{0x5C, 0x68, 0x78};
inline constexpr Rgb kAccent{0x3C, 0xC8, 0x64};  // destination, waypoint
inline constexpr Rgb kSignRed{0xE0, 0x2A, 0x22};
inline constexpr Rgb kSignYellow{0xF6, 0xC8, 0x1E};
inline constexpr Rgb kSignBlue{0x1E, 0x5A, 0xC8};
inline constexpr Rgb kInk{0x14, 0x14, 0x18};

// Key colours: around the keyed turn arrows 0x000C00 (red 0, green 12, blue 0), around the
// expand/collapse button 0x808080.
inline constexpr Rgb kArrowKey{0x00, 0x0C, 0x00};
inline constexpr Rgb kButtonKey{0x80, 0x80, 0x80};

inline constexpr int kIconWidth = 80;
inline constexpr int kIconHeight = 70;
inline constexpr int kButtonWidth = 57;
inline constexpr int kButtonHeight = 60;

// Where the icon wells and the button lie in each background.
struct PanelPlaces {
    int width, height;
    int turnX, turnY;
    int safetyX, safetyY;
    int buttonX, buttonY;
};
inline constexpr PanelPlaces kHorizontal{800, 150, 360, 32, 700, 70, 0, 90};
inline constexpr PanelPlaces kVertical{250, 480, 40, 200, 40, 10, 0, 420};

// The pictures (turn_icons.cpp, safety_icons.cpp, backgrounds.cpp).
Picture turnIcon(int code);    // 0..50, 103, 104, 107
Picture safetyIcon(int code);  // 111..129, 151 (151..164), 201 (201..214), 232 (232..245), 246..251
Picture background(const PanelPlaces& places);
Picture expandButton(bool expanded, bool pressed);

}  // namespace panelart
