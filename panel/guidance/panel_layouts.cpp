#include "panel/guidance/panel_layouts.h"

#include "panel/images/image_table.h"
#include "platform/gfx/draw_text.h"

namespace panel {

namespace {

constexpr ce::COLORREF kRed = 0x0000FF;
constexpr ce::COLORREF kCyan = 0xFFFF00;
constexpr ce::COLORREF kGreen = 0x42FF00;
constexpr uint32_t kLeft = ce::DT_VCENTER;                 // 4
constexpr uint32_t kCentred = ce::DT_VCENTER | ce::DT_CENTER;  // 5

struct CellSpec {
    int x, y, width, height;
    uint32_t format;
    ce::COLORREF color;
    int fontHeight;
};

// Cells 0..7 of one orientation; cell 5 stays switched off.
constexpr CellSpec kHorizontalCells[8] = {
    {60, 90, 100, 50, kCentred, kRed, 50},   {155, 110, 80, 30, kLeft, kRed, 30},
    {340, 110, 195, 35, kCentred, kRed, 40}, {465, 70, 225, 30, kLeft, kCyan, 30},
    {465, 40, 225, 30, kLeft, kGreen, 30},   {465, 10, 200, 30, kLeft, kCyan, 25},
    {10, 0, 180, 40, kCentred, kRed, 40},    {10, 40, 180, 40, kCentred, kRed, 40},
};
constexpr CellSpec kVerticalCells[8] = {
    {60, 420, 100, 50, kLeft, kRed, 50},     {155, 440, 80, 30, kLeft, kRed, 25},
    {40, 274, 195, 35, kLeft, kRed, 40},     {40, 140, 195, 30, kLeft, kCyan, 30},
    {40, 100, 195, 30, kLeft, kGreen, 30},   {465, 10, 200, 30, kLeft, kCyan, 25},
    {10, 330, 180, 40, kCentred, kRed, 40},  {10, 370, 180, 40, kCentred, kRed, 40},
};

void SetButton(PanelButton& button, bool enabled, int x, int y, int hitX, int hitY, int hitWidth, int hitHeight,
               ce::COLORREF key, int focusKey) {
    button.enabled = enabled;
    button.x = x;
    button.y = y;
    button.width = 0;
    button.height = 0;
    for (auto& state : button.images) state.fill(0);
    for (auto& state : button.images) state[0] = -1;
    button.hitX = hitX;
    button.hitY = hitY;
    button.hitWidth = hitWidth;
    button.hitHeight = hitHeight;
    button.keyed = 1;
    button.keyColor = key;
    button.focusKey = focusKey;
}

PanelLayout CommonLayout(CImageStore* store, bool horizontal) {
    PanelLayout layout{};
    layout.store = store;
    layout.messages.buttonRelease = horizontal ? WM_HORIZONTAL_BUTTON : WM_VERTICAL_BUTTON;
    layout.scrollOnRelease = 1;
    layout.background = horizontal ? IMG_BG_HORIZONTAL : IMG_BG_VERTICAL;

    PanelButton* buttons = layout.buttons.data();
    SetButton(buttons[0], false, 0, 0, 0, 0, 150, 150, 0xFF00FF, 0);
    if (horizontal) {
        SetButton(buttons[1], true, 37, 0, 37, 0, 800, 150, 0x808080, 1);
        SetButton(buttons[2], true, 0, 90, 0, 90, 57, 60, 0x808080, 2);
    } else {
        SetButton(buttons[1], true, 0, 0, 0, 0, 250, 420, 0x808080, 1);
        SetButton(buttons[2], true, 0, 420, 0, 420, 57, 60, 0x808080, 2);
    }
    // Button 2 shows "off" images at value 0 (collapsed) and "on" images at value 1.
    auto& expand = buttons[BUTTON_EXPAND].images;
    expand[0][0] = IMG_BUTTON_OFF_NORMAL;
    expand[1][0] = IMG_BUTTON_OFF_PRESSED;
    expand[2][0] = IMG_BUTTON_OFF_NORMAL;
    expand[0][1] = IMG_BUTTON_ON_NORMAL;
    expand[1][1] = IMG_BUTTON_ON_PRESSED;
    expand[2][1] = IMG_BUTTON_ON_NORMAL;

    const CellSpec* cells = horizontal ? kHorizontalCells : kVerticalCells;
    for (int i = 0; i < 8; ++i) {
        TextCell& cell = layout.cells[static_cast<size_t>(i)];
        cell.enabled = i != 5;
        cell.x = cells[i].x;
        cell.y = cells[i].y;
        cell.width = cells[i].width;
        cell.height = cells[i].height;
        cell.format = cells[i].format;
        cell.color = cells[i].color;
        cell.fontHeight = cells[i].fontHeight;
        cell.bold = 1;
    }
    return layout;
}

}  // namespace

IconArea TurnIconArea(bool horizontal) {
    return horizontal ? IconArea{{360, 32, 440, 102}, {360, 32}} : IconArea{{40, 200, 120, 270}, {40, 200}};
}

IconArea SafetyIconArea(bool horizontal) {
    return horizontal ? IconArea{{700, 70, 780, 140}, {700, 70}} : IconArea{{40, 10, 120, 80}, {40, 10}};
}

PanelLayout HorizontalLayout(CImageStore* store) { return CommonLayout(store, true); }
PanelLayout VerticalLayout(CImageStore* store) { return CommonLayout(store, false); }

}  // namespace panel
