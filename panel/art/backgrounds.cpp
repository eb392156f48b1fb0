// The two panel backgrounds and the expand/collapse button.

#include <algorithm>

#include "panel/art/panel_look.h"

namespace panelart {

namespace {

Rgb mix(Rgb a, Rgb b, double t) {
    auto m = [t](uint8_t x, uint8_t y) { return static_cast<uint8_t>(x + (y - x) * t + 0.5); };
    return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

// A well: plain colour inside the 80 x 70 icon area, a two-pixel edge just outside it.
void well(Picture& p, int x, int y) {
    p.fill(x - 2, y - 2, x + kIconWidth + 2, y + kIconHeight + 2, kWellEdge);
    p.fill(x, y, x + kIconWidth, y + kIconHeight, kWell);
}

}  // namespace

Picture background(const PanelPlaces& at) {
    Picture p(at.width, at.height, kPanelBottom);
    for (int y = 0; y < at.height; ++y)
        p.fill(0, y, at.width, y + 1, mix(kPanelTop, kPanelBottom, static_cast<double>(y) / (at.height - 1)));
    // A highlight along the edge that faces the map.
    if (at.width > at.height) {
        p.fill(0, 0, at.width, 2, kWellEdge);
        p.fill(250, 8, 251, at.height - 8, kDivider);  // speed | guidance
        p.fill(455, 8, 456, 104, kDivider);            // guidance | road names
        p.fill(465, 103, 690, 104, kDivider);          // under the road names
    } else {
        p.fill(at.width - 2, 0, at.width, at.height, kWellEdge);
        p.fill(8, 90, at.width - 8, 91, kDivider);     // safety icon | road names
        p.fill(8, 322, at.width - 8, 323, kDivider);   // distance | safety texts
        p.fill(8, 414, at.width - 8, 415, kDivider);   // safety texts | speed
    }
    // The rail under the expand/collapse button, the part a collapsed panel keeps.
    p.fill(at.buttonX, at.buttonY, at.buttonX + kButtonWidth, at.buttonY + kButtonHeight, kRail);
    well(p, at.turnX, at.turnY);
    well(p, at.safetyX, at.safetyY);
    return p;
}

// The tab at the panel's left edge: chevrons pointing left while the panel is expanded (tap
// to collapse), right while it is collapsed (tap to expand); darker while pressed.
Picture expandButton(bool expanded, bool pressed) {
    const Rgb body = pressed ? Rgb{0x14, 0x3A, 0x6E} : Rgb{0x24, 0x5C, 0xA8};
    const Rgb edge = pressed ? Rgb{0x5E, 0x86, 0xBE} : Rgb{0x9C, 0xC2, 0xEE};
    const Rgb mark = pressed ? kSignYellow : kArrow;
    const double shift = pressed ? 1 : 0;
    std::vector<Layer> layers{{roundedBox(2, 4, 38, 56, 7), edge}, {roundedBox(4, 6, 36, 54, 5), body}};
    for (double x : {14.0, 24.0}) {
        const double tip = expanded ? x - 5 : x + 5, tail = expanded ? x + 5 : x - 5;
        layers.push_back({polyline({{tail + shift, 19 + shift}, {tip + shift, 30 + shift}, {tail + shift, 41 + shift}}, 4), mark});
    }
    return render(kButtonWidth, kButtonHeight, kRail, kButtonKey, layers);
}

}  // namespace panelart
