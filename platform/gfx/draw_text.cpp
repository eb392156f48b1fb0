#include "platform/gfx/draw_text.h"

#include <algorithm>

#include "platform/gfx/font_engine.h"
#include "platform/gfx/text_layout.h"
#include "platform/gfx/utf.h"

namespace ce {

// Puts laid-out lines of glyphs onto a context's surface: background box in OPAQUE mode,
// coverage blended with the text colour, underline and strike-out.
class TextPainter {
public:
    TextPainter(Dc& dc, const Font& font, const Rect& clipOnSurface)
        : dc_(dc), font_(font), clip_(clipOnSurface), color_(pixelFromColor(dc.getTextColor())) {}

    // One line with its top-left corner at x, top (logical coordinates).
    void line(const gfx::TextLine& line, int x, int top) {
        const TextMetrics& m = font_.metrics();
        const int sx = x + dc_.origin_.x, sy = top + dc_.origin_.y;
        if (dc_.getBkMode() == OPAQUE) fill(Rect{sx, sy, sx + line.width, sy + m.height}, pixelFromColor(dc_.getBkColor()));
        const int baseline = sy + m.ascent;
        for (const gfx::PlacedGlyph& pg : line.glyphs) blend(*pg.glyph, sx + pg.x + pg.glyph->left, baseline - pg.glyph->top);
        const FontEngine& engine = font_.engine();
        const LogFont& lf = font_.logFont();
        const int thickness = engine.lineThickness();
        if (lf.underline) fill(Rect{sx, baseline + engine.underlinePosition(), sx + line.width, baseline + engine.underlinePosition() + thickness}, color_);
        if (lf.strikeOut) {
            const int y = baseline - m.ascent / 3;
            fill(Rect{sx, y, sx + line.width, y + thickness}, color_);
        }
    }

private:
    void fill(const Rect& r, uint32_t pixel) {
        const Rect c = intersectRect(r, clip_);
        if (isRectEmpty(c)) return;
        dc_.target_->fillRect(c, pixel);
        dc_.markDirty(c);
    }

    void blend(const Glyph& g, int left, int top) {
        const Rect c = intersectRect(Rect{left, top, left + g.width, top + g.height}, clip_);
        if (isRectEmpty(c)) return;
        const uint32_t cr = (color_ >> 16) & 0xFF, cg = (color_ >> 8) & 0xFF, cb = color_ & 0xFF;
        for (int y = c.top; y < c.bottom; ++y) {
            const uint8_t* cov = &g.coverage[static_cast<size_t>(y - top) * g.width + (c.left - left)];
            uint32_t* d = dc_.target_->row(y) + c.left;
            for (int x = 0; x < c.width(); ++x) {
                const uint32_t a = cov[x];
                if (a == 0) continue;
                if (a == 255) { d[x] = color_; continue; }
                const uint32_t p = d[x], na = 255 - a;
                const uint32_t r = (cr * a + ((p >> 16) & 0xFF) * na + 127) / 255;
                const uint32_t gg = (cg * a + ((p >> 8) & 0xFF) * na + 127) / 255;
                const uint32_t b = (cb * a + (p & 0xFF) * na + 127) / 255;
                d[x] = (r << 16) | (gg << 8) | b;
            }
        }
        dc_.markDirty(c);
    }

    Dc& dc_;
    const Font& font_;
    Rect clip_;
    uint32_t color_;
};

namespace {

int drawLines(Dc& dc, const std::vector<gfx::CodePoint>& text, Rect& rect, uint32_t format, bool mayChangeRect) {
    const HFONT font = dc.currentFont();
    const TextMetrics& m = font->metrics();
    const std::vector<gfx::TextLine> lines = gfx::layoutText(font->engine(), text, rect.width(), format);
    const int total = static_cast<int>(lines.size()) * m.height;
    if (format & DT_CALCRECT) {
        int widest = 0;
        for (const auto& l : lines) widest = std::max(widest, l.width);
        if (mayChangeRect) {
            rect.right = rect.left + widest;
            rect.bottom = rect.top + total;
        }
        return total;
    }
    if (!dc.hasTarget()) return 0;
    int top = rect.top;
    if (format & DT_VCENTER) top += (rect.height() - total) / 2;
    else if (format & DT_BOTTOM) top = rect.bottom - total;
    Rect clip = dc.getClipBox();
    if (!(format & DT_NOCLIP)) clip = intersectRect(clip, rect);
    TextPainter painter(dc, *font, offsetRect(clip, dc.origin().x, dc.origin().y));
    for (const auto& l : lines) {
        int x = rect.left;
        if (format & DT_CENTER) x += (rect.width() - l.width) / 2;
        else if (format & DT_RIGHT) x = rect.right - l.width;
        painter.line(l, x, top);
        top += m.height;
    }
    return total;
}

// Cumulative pen positions after each character, spread over the code units it came from.
TextFit fitOf(const Font& font, const std::vector<gfx::CodePoint>& cps, size_t units, int maxExtent) {
    TextFit fit;
    fit.dx.assign(units, 0);
    std::vector<char32_t> chars;
    chars.reserve(cps.size());
    for (const auto& cp : cps) chars.push_back(cp.value);
    std::vector<const Glyph*> glyphs;
    font.engine().glyphs(chars, glyphs);
    int x = 0;
    bool fitting = true;
    for (size_t i = 0; i < cps.size(); ++i) {
        x += glyphs[i]->advance;
        for (uint32_t u = 0; u < cps[i].units; ++u) fit.dx[cps[i].unit + u] = x;
        if (fitting && x <= maxExtent) fit.fit = static_cast<int>(cps[i].unit + cps[i].units);
        else fitting = false;
    }
    fit.size = Size{x, font.metrics().height};
    return fit;
}

Size extentOf(const Font& font, const std::vector<gfx::CodePoint>& cps) {
    std::vector<char32_t> chars;
    chars.reserve(cps.size());
    for (const auto& cp : cps) chars.push_back(cp.value);
    std::vector<const Glyph*> glyphs;
    font.engine().glyphs(chars, glyphs);
    int x = 0;
    for (const Glyph* g : glyphs) x += g->advance;
    return Size{x, font.metrics().height};
}

bool textOutCps(Dc& dc, int x, int y, const std::vector<gfx::CodePoint>& cps) {
    if (!dc.hasTarget()) return false;
    const HFONT font = dc.currentFont();
    auto lines = gfx::layoutText(font->engine(), cps, 0, DT_SINGLELINE);
    TextPainter painter(dc, *font, offsetRect(dc.getClipBox(), dc.origin().x, dc.origin().y));
    for (const auto& l : lines) painter.line(l, x, y);
    return true;
}

}  // namespace

int drawText(Dc& dc, std::string_view text, Rect& rect, uint32_t format) {
    return drawLines(dc, gfx::decodeUtf8(text), rect, format, true);
}
int drawText(Dc& dc, std::string_view text, const Rect& rect, uint32_t format) {
    Rect copy = rect;
    return drawLines(dc, gfx::decodeUtf8(text), copy, format, false);
}
int drawText(Dc& dc, std::u16string_view text, Rect& rect, uint32_t format) {
    return drawLines(dc, gfx::decodeUtf16(text), rect, format, true);
}
int drawText(Dc& dc, std::u16string_view text, const Rect& rect, uint32_t format) {
    Rect copy = rect;
    return drawLines(dc, gfx::decodeUtf16(text), copy, format, false);
}

bool textOut(Dc& dc, int x, int y, std::string_view text) { return textOutCps(dc, x, y, gfx::decodeUtf8(text)); }
bool textOut(Dc& dc, int x, int y, std::u16string_view text) { return textOutCps(dc, x, y, gfx::decodeUtf16(text)); }

Size getTextExtentPoint(const Font& font, std::string_view text) { return extentOf(font, gfx::decodeUtf8(text)); }
Size getTextExtentPoint(const Font& font, std::u16string_view text) { return extentOf(font, gfx::decodeUtf16(text)); }
Size getTextExtentPoint(const Dc& dc, std::string_view text) { return getTextExtentPoint(*dc.currentFont(), text); }
Size getTextExtentPoint(const Dc& dc, std::u16string_view text) { return getTextExtentPoint(*dc.currentFont(), text); }

TextFit getTextExtentExPoint(const Dc& dc, std::string_view text, int maxExtent) {
    return fitOf(*dc.currentFont(), gfx::decodeUtf8(text), text.size(), maxExtent);
}
TextFit getTextExtentExPoint(const Dc& dc, std::u16string_view text, int maxExtent) {
    return fitOf(*dc.currentFont(), gfx::decodeUtf16(text), text.size(), maxExtent);
}

TextMetrics getTextMetrics(const Dc& dc) { return dc.currentFont()->metrics(); }

}  // namespace ce
