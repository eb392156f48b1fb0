#pragma once
// The FreeType side of a font: sizes, metrics and the glyph cache. Internal to gfx.
//
// One engine belongs to one Font (one face request at one size). Faces are opened once per
// process and shared; each engine has its own FreeType size object on every face it uses, so
// fonts of different sizes never disturb each other. Glyphs are rendered on first use and
// kept for the engine's lifetime. All FreeType work happens under one process-wide lock.

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <unordered_map>
#include <vector>

#include "platform/gfx/font.h"
#include "platform/gfx/font_resolver.h"

namespace ce {

// A rendered glyph: an 8-bit coverage bitmap placed relative to the pen position on the
// baseline, and the pen advance in whole pixels.
struct Glyph {
    int advance = 0;
    int left = 0;  // from the pen position to the bitmap's left edge
    int top = 0;   // from the baseline up to the bitmap's top edge
    int width = 0;
    int height = 0;
    std::vector<uint8_t> coverage;  // width * height, row by row
};

struct FaceHandle;  // an opened face with this engine's size on it (font_engine.cpp)

class FontEngine {
public:
    explicit FontEngine(const LogFont& request);
    ~FontEngine();
    FontEngine(const FontEngine&) = delete;
    FontEngine& operator=(const FontEngine&) = delete;

    const TextMetrics& metrics() const { return metrics_; }
    const gfx::FaceSource& primary() const { return primarySource_; }
    int underlinePosition() const { return underlinePos_; }  // pixels below the baseline
    int lineThickness() const { return lineThickness_; }

    // The glyphs of a run of characters, looked up under one lock. The pointers stay valid
    // for the engine's lifetime. Control characters have no ink and no advance.
    void glyphs(std::span<const char32_t> chars, std::vector<const Glyph*>& out);
    const Glyph& glyph(char32_t ch);

private:
    const Glyph& glyphLocked(char32_t ch);
    FaceHandle* faceFor(char32_t ch, unsigned& glyphIndex);
    FaceHandle* open(const gfx::FaceSource& source);
    void render(FaceHandle& face, unsigned glyphIndex, Glyph& out);

    LogFont request_;
    gfx::FaceSource primarySource_;
    double ppemY_ = 0;  // the em size in pixels
    double ppemX_ = 0;
    TextMetrics metrics_;
    int underlinePos_ = 1;
    int lineThickness_ = 1;
    std::vector<std::unique_ptr<FaceHandle>> faces_;  // [0] is the primary face
    std::unordered_map<char32_t, FaceHandle*> fallback_;  // characters found in other faces
    std::unordered_map<char32_t, Glyph> cache_;
};

}  // namespace ce
