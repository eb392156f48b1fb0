#pragma once
// PanelLayout: everything a CBrowserWnd shows and how it reacts, filled by its owner before
// the window is created. Image ids are those of the image table; -1 shows the panel's
// background in place of an image. Colours are colour references (0x00BBGGRR).

#include <array>
#include <cstdint>
#include <string>

#include "platform/gfx/color.h"
#include "platform/ui/types.h"

namespace panel {

class CImageStore;

inline constexpr int kButtonCount = 80;
inline constexpr int kStaticImageCount = 40;
inline constexpr int kCellCount = 16;
inline constexpr int kButtonStates = 3;  // 0 normal, 1 pressed, 2 focused
inline constexpr int kButtonValues = 6;  // image columns a button value selects
inline constexpr int kListRowStates = 5;
inline constexpr int kCaptionLength = 40;

enum ButtonMode : int32_t { BUTTON_MOMENTARY = 0, BUTTON_TOGGLE = 1 };

// What a button does to the list besides posting its messages.
enum ScrollAction : int32_t {
    SCROLL_NONE = 0,
    SCROLL_LIST_UP = 1,
    SCROLL_LIST_DOWN = 2,
    SCROLL_SELECTION_UP = 3,
    SCROLL_SELECTION_DOWN = 4,
};

struct PanelButton {
    uint8_t enabled = 0;
    uint8_t hitTestOff = 0;
    int32_t x = 0, y = 0;
    int32_t width = 0, height = 0;  // the block of background drawn for image id -1
    std::array<std::array<int32_t, kButtonValues>, kButtonStates> images{};
    int32_t mode = BUTTON_MOMENTARY;
    int32_t hitX = 0, hitY = 0, hitWidth = 0, hitHeight = 0;
    int32_t focusKey = 0;
    int32_t scrollAction = SCROLL_NONE;
    int32_t scrollAmount = 0;
    uint8_t keyed = 0;
    ce::COLORREF keyColor = 0;
};

struct ButtonCaption {
    uint8_t enabled = 0;
    std::u16string text;  // at most kCaptionLength units are drawn
    std::array<ce::COLORREF, kButtonStates> colors{};
    std::array<int32_t, kButtonStates> fontHeights{};
    std::array<uint8_t, kButtonStates> bold{};
    int32_t offsetX = 0, offsetY = 0;  // from the button's position
    int32_t height = 0, width = 0;
    uint32_t format = 0;    // DrawText flags
    std::u16string faceName;  // empty: the default face
};

struct StaticImage {
    uint8_t enabled = 0;
    int32_t image = 0;
    int32_t x = 0, y = 0;
    int32_t frames = 1;  // the image is a strip of this many frames; frame 0 is drawn
    uint8_t keyed = 0;
    ce::COLORREF keyColor = 0;
};

struct TextCell {
    uint8_t enabled = 0;
    int32_t x = 0, y = 0, width = 0, height = 0;
    uint32_t format = 0;  // DrawText flags
    ce::COLORREF color = 0;
    int32_t fontHeight = 0;
    uint8_t bold = 0;
    uint8_t plain = 0;   // drawn as it is: no truncation, no rotation
    uint8_t shadow = 0;  // 1: a shadow copy one pixel lower first
    ce::COLORREF shadowColor = 0;
    std::u16string faceName;  // empty: the default face
    uint8_t marquee = 0;      // long texts rotate, one character per tick of timer 1001
    int32_t marqueePosition = 0;
};

// Row states of the list, in the order of ListSettings::rows.
enum ListRowState { ROW_NORMAL = 0, ROW_SELECTED, ROW_PRESSED, ROW_FOCUSED, ROW_FOCUSED_SELECTED };

// How a list row looks in one state.
struct ListRowStyle {
    int32_t background = -1;  // image drawn behind the row, -1 the panel's background
    ce::COLORREF color1 = 0, color2 = 0;
    int32_t fontHeight1 = 0, fontHeight2 = 0;
    uint8_t bold = 0;
};

// The list: a window of `visibleRows` rows of `rowHeight` pixels at x, y, each row with an
// icon and two text lines; a scroll bar (a track image with a thumb image moving along it);
// a page indicator ("selected row / items" in a format of its own).
struct ListSettings {
    uint8_t enabled = 0;
    uint8_t active = 0;  // initial activity: an inactive list ignores taps, keys and scroll actions
    int32_t focusKey = 0;
    int32_t x = 0, y = 0, width = 0;
    int32_t rowHeight = 0, visibleRows = 0;
    std::array<ListRowStyle, kListRowStates> rows{};
    ce::Rect line1{}, line2{};  // text rectangles inside a row
    uint32_t lineFormat = 0;
    std::u16string faceName;
    int32_t iconImage = -1, iconFrames = 1, iconX = 0, iconY = 0;
    uint8_t iconKeyed = 0;
    ce::COLORREF iconKeyColor = 0;
    uint8_t marquee = 0;  // the selected row's first line rotates when too long

    uint8_t scrollBar = 0;
    int32_t barX = 0, barY = 0, barWidth = 0, barHeight = 0;
    int32_t trackImage = -1, thumbImage = -1;
    uint8_t proportionalThumb = 1;  // 1: thumb follows the top row; 0: steps with the selected row

    uint8_t pageIndicator = 0;
    ce::Rect pageRect{};
    std::u16string pageFormat = u"%d/%d";  // selected row (from 1) and item count
    ce::COLORREF pageColor = 0;
    int32_t pageFontHeight = 0;
    uint8_t pageBold = 0;
    uint32_t pageTextFormat = 0;
};

// Messages posted to the program's main window; 0 drops the event.
struct PanelMessages {
    ce::UINT buttonPress = 0;     // wParam button index
    ce::UINT buttonRelease = 0;   // wParam button index
    ce::UINT listSelect = 0;      // wParam row, lParam the row's item data
    ce::UINT listScroll = 0;      // wParam 0 up, 1 down, 2 selection up, 3 selection down: an end was reached
    ce::UINT pressOutside = 0;    // wParam x, lParam y
    ce::UINT releaseOutside = 0;  // wParam x, lParam y
    ce::UINT unused = 0;
    ce::UINT scrollPosition = 0;  // wParam top row, lParam the largest top row
};

struct KeyboardSettings {
    uint8_t enabled = 0;
    ce::UINT previousFocus = 0, nextFocus = 0, activate = 0, selectionUp = 0, selectionDown = 0;
};

struct PanelLayout {
    std::array<PanelButton, kButtonCount> buttons{};
    std::array<ButtonCaption, kButtonCount> captions{};
    int32_t background = 0;
    ListSettings list{};
    std::array<StaticImage, kStaticImageCount> statics{};
    std::array<TextCell, kCellCount> cells{};
    CImageStore* store = nullptr;
    PanelMessages messages{};
    KeyboardSettings keys{};
    void (*paintCallback)(ce::HWND) = nullptr;
    int32_t scrollOnRelease = 0;
};

}  // namespace panel
