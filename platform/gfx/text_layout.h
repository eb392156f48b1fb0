#pragma once
// Breaking text into lines for drawText: line breaks, word wrapping, tab expansion and end
// ellipses. Internal to gfx.

#include <cstdint>
#include <vector>

#include "platform/gfx/font_engine.h"
#include "platform/gfx/utf.h"

namespace ce::gfx {

struct PlacedGlyph {
    const Glyph* glyph;
    int x;  // pen position from the start of the line
};

struct TextLine {
    std::vector<PlacedGlyph> glyphs;
    int width = 0;  // pen advance of the whole line (trailing spaces at a wrap not counted)
};

// Lays the characters out with the drawText format flags that concern lines (DT_SINGLELINE,
// DT_WORDBREAK, DT_EXPANDTABS, DT_END_ELLIPSIS) for a rectangle maxWidth pixels wide.
std::vector<TextLine> layoutText(FontEngine& font, const std::vector<CodePoint>& text, int maxWidth, uint32_t format);

}  // namespace ce::gfx
