#include "panel/images/text_fit.h"

#include "platform/gfx/draw_text.h"

namespace panel {

namespace {

constexpr std::u16string_view kEllipsis = u"...";

bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

int TextWidth(const ce::Dc& dc, std::u16string_view text) { return ce::getTextExtentExPoint(dc, text, 0).size.cx; }

}  // namespace

std::u16string TruncatedText(const ce::Dc& dc, std::u16string_view text, int width) {
    const ce::TextFit fit = ce::getTextExtentExPoint(dc, text, width);
    if (width >= fit.size.cx) return std::u16string(text);
    // Starts too wide without "..." cannot fit with it; the others are measured whole.
    size_t n = text.size();
    while (n > 0 && n <= fit.dx.size() && fit.dx[n - 1] >= width) --n;
    for (++n; n-- > 0;) {
        if (n > 0 && n < text.size() && IsLowSurrogate(text[n])) continue;
        std::u16string candidate(text.substr(0, n));
        candidate += kEllipsis;
        if (n == 0 || TextWidth(dc, candidate) < width) return candidate;
    }
    return std::u16string(kEllipsis);
}

std::u16string RotatedText(const ce::Dc& dc, std::u16string_view text, int width, int position) {
    if (TextWidth(dc, text) <= width) return std::u16string(text);
    size_t from = position < 0 ? 0 : static_cast<size_t>(position);
    if (from > text.size()) from = text.size();
    if (from > 0 && from < text.size() && IsLowSurrogate(text[from])) ++from;
    std::u16string rotated(text.substr(from));
    rotated += u' ';
    rotated += text;
    return rotated;
}

void DrawTruncated(ce::Dc& dc, std::u16string_view text, const ce::Rect& rect, uint32_t format) {
    ce::drawText(dc, TruncatedText(dc, text, rect.width()), rect, format);
}

void DrawRotated(ce::Dc& dc, std::u16string_view text, const ce::Rect& rect, uint32_t format, int position) {
    ce::drawText(dc, RotatedText(dc, text, rect.width(), position), rect, format);
}

int NextMarqueePosition(int position, size_t length) {
    const int next = position + 1;
    return next >= static_cast<int>(length) ? 0 : next;
}

}  // namespace panel
