#pragma once
// Text on a device context: extents, fitting and DrawText, in the context's selected font,
// text colour and background mode.
//
// Strings come in as UTF-8 or UTF-16. Counts and positions are always in code units of the
// string given (bytes for UTF-8, 16-bit units for UTF-16), so a caller can cut its own string
// with them; a character made of several units is never split.
//
// drawText lays text out in lines: "\r\n", "\n" and "\r" break lines unless DT_SINGLELINE;
// DT_WORDBREAK wraps at spaces, and a word wider than the rectangle is broken between
// characters rather than cut off; DT_END_ELLIPSIS shortens each line that is still too wide
// to the longest start that fits followed by "...". DT_VCENTER and DT_BOTTOM place the whole
// block of lines (a single line being the usual case). '&' is drawn as it is: the programs
// show file and road names, which may contain it.

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/gfx/dc.h"

namespace ce {

enum : uint32_t {
    DT_TOP = 0x0,
    DT_LEFT = 0x0,
    DT_CENTER = 0x1,
    DT_RIGHT = 0x2,
    DT_VCENTER = 0x4,
    DT_BOTTOM = 0x8,
    DT_WORDBREAK = 0x10,
    DT_SINGLELINE = 0x20,
    DT_EXPANDTABS = 0x40,
    DT_NOCLIP = 0x100,
    DT_CALCRECT = 0x400,
    DT_NOPREFIX = 0x800,
    DT_END_ELLIPSIS = 0x8000,
};

// Draws text into rect with the format flags and returns the height of the text drawn (0 on
// failure). DT_CALCRECT draws nothing and sets rect's right and bottom to the text's extent
// (the widest line, the lines' total height); the const overload only measures.
int drawText(Dc& dc, std::string_view text, Rect& rect, uint32_t format);
int drawText(Dc& dc, std::string_view text, const Rect& rect, uint32_t format);
int drawText(Dc& dc, std::u16string_view text, Rect& rect, uint32_t format);
int drawText(Dc& dc, std::u16string_view text, const Rect& rect, uint32_t format);

// Draws one line with its top-left corner at x, y (ExtTextOut without options); no line
// breaks, no clipping to anything but the context's clip.
bool textOut(Dc& dc, int x, int y, std::string_view text);
bool textOut(Dc& dc, int x, int y, std::u16string_view text);

// Width and height of a single line of text (GetTextExtentPoint32). Line breaks are not
// interpreted here.
Size getTextExtentPoint(const Dc& dc, std::string_view text);
Size getTextExtentPoint(const Dc& dc, std::u16string_view text);

// GetTextExtentExPoint: the size of the whole string, how many code units fit within
// maxExtent pixels, and for every code unit the width of the text up to and including it.
struct TextFit {
    Size size;
    int fit = 0;
    std::vector<int> dx;
};
TextFit getTextExtentExPoint(const Dc& dc, std::string_view text, int maxExtent);
TextFit getTextExtentExPoint(const Dc& dc, std::u16string_view text, int maxExtent);

TextMetrics getTextMetrics(const Dc& dc);

// The same measurements for a font without a context.
Size getTextExtentPoint(const Font& font, std::string_view text);
Size getTextExtentPoint(const Font& font, std::u16string_view text);

}  // namespace ce
