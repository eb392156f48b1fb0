#include "platform/gfx/text_layout.h"

#include <algorithm>

#include "platform/gfx/draw_text.h"

namespace ce::gfx {
namespace {

bool isSpace(char32_t ch) { return ch == U' ' || ch == U'\u3000'; }

// One paragraph (text between line breaks) as glyphs with their characters.
struct Run {
    std::vector<char32_t> chars;
    std::vector<const Glyph*> glyphs;
};

class LineBuilder {
public:
    LineBuilder(FontEngine& font, int maxWidth, uint32_t format)
        : font_(font), maxWidth_(maxWidth), format_(format), tabWidth_(std::max(1, 8 * font.metrics().aveCharWidth)) {}

    void paragraph(const Run& run, std::vector<TextLine>& out) {
        const size_t n = run.chars.size();
        const bool wrap = (format_ & DT_WORDBREAK) && !(format_ & DT_SINGLELINE);
        if (!wrap) {
            out.push_back(finish(run, 0, n));
            return;
        }
        size_t start = 0;
        do {
            size_t end = n, next = n, wordStart = start;
            int x = 0;
            for (size_t i = start; i < n; ++i) {
                const int adv = advance(run, i, x);
                if (x + adv > maxWidth_ && i > start) {
                    if (isSpace(run.chars[i])) { end = next = i; break; }
                    if (wordStart > start) { end = next = wordStart; break; }
                    if (format_ & DT_END_ELLIPSIS) {  // keep the word whole; its end is cut to "..."
                        end = next = std::find_if(run.chars.begin() + i, run.chars.end(), isSpace) - run.chars.begin();
                        break;
                    }
                    end = next = i;  // a word wider than the line breaks between characters
                    break;
                }
                x += adv;
                if (isSpace(run.chars[i]) && i + 1 < n && !isSpace(run.chars[i + 1])) wordStart = i + 1;
            }
            size_t trimmed = end;
            while (trimmed > start && isSpace(run.chars[trimmed - 1])) --trimmed;
            out.push_back(finish(run, start, trimmed > start ? trimmed : end));
            start = next;
            while (start < n && isSpace(run.chars[start])) ++start;
        } while (start < n);
    }

private:
    int advance(const Run& run, size_t i, int x) const {
        if (run.chars[i] == U'\t' && (format_ & DT_EXPANDTABS)) return tabWidth_ - x % tabWidth_;
        return run.glyphs[i]->advance;
    }

    TextLine finish(const Run& run, size_t from, size_t to) {
        TextLine line;
        int x = 0;
        for (size_t i = from; i < to; ++i) {
            line.glyphs.push_back({run.glyphs[i], x});
            x += advance(run, i, x);
        }
        line.width = x;
        if ((format_ & DT_END_ELLIPSIS) && line.width > maxWidth_) ellipsize(line);
        return line;
    }

    // The longest start of the line that fits with "..." after it; "..." alone if none does.
    void ellipsize(TextLine& line) {
        const Glyph& dot = font_.glyph(U'.');
        const int dotsWidth = 3 * dot.advance;
        size_t keep = line.glyphs.size();
        while (keep > 0) {
            const int end = keep < line.glyphs.size() ? line.glyphs[keep].x : line.width;
            if (end + dotsWidth <= maxWidth_) break;
            --keep;
        }
        int x = keep < line.glyphs.size() ? line.glyphs[keep].x : line.width;
        line.glyphs.resize(keep);
        for (int k = 0; k < 3; ++k, x += dot.advance) line.glyphs.push_back({&dot, x});
        line.width = x;
    }

    FontEngine& font_;
    int maxWidth_;
    uint32_t format_;
    int tabWidth_;
};

}  // namespace

std::vector<TextLine> layoutText(FontEngine& font, const std::vector<CodePoint>& text, int maxWidth, uint32_t format) {
    std::vector<TextLine> lines;
    if (text.empty()) return lines;
    LineBuilder builder(font, maxWidth, format);
    const bool single = (format & DT_SINGLELINE) != 0;
    Run run;
    const auto flush = [&] {
        font.glyphs(run.chars, run.glyphs);
        builder.paragraph(run, lines);
        run.chars.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char32_t ch = text[i].value;
        if (!single && (ch == U'\r' || ch == U'\n')) {
            if (ch == U'\r' && i + 1 < text.size() && text[i + 1].value == U'\n') ++i;  // "\r\n" is one break
            flush();
            continue;
        }
        run.chars.push_back(ch);
    }
    flush();
    return lines;
}

}  // namespace ce::gfx
