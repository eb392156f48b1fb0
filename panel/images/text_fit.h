#pragma once
// Fitting a text into a cell, in the context's selected font:
//   - truncation: a text wider than the rectangle becomes its longest start that, followed by
//     "...", is narrower than the rectangle ("..." alone when none is); a text exactly as wide
//     as the rectangle stays whole;
//   - rotation: a text wider than the rectangle is drawn from character p on, then one space,
//     then the whole text, so that advancing p by one per redraw scrolls it left.
// A character made of two UTF-16 units is never split.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/gfx/dc.h"

namespace panel {

std::u16string TruncatedText(const ce::Dc& dc, std::u16string_view text, int width);
std::u16string RotatedText(const ce::Dc& dc, std::u16string_view text, int width, int position);

void DrawTruncated(ce::Dc& dc, std::u16string_view text, const ce::Rect& rect, uint32_t format);
void DrawRotated(ce::Dc& dc, std::u16string_view text, const ce::Rect& rect, uint32_t format, int position);

// The position after `position` for a text of this length: one on, back to 0 at the end.
int NextMarqueePosition(int position, size_t length);

}  // namespace panel
