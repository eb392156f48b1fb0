#include "platform/gfx/font_engine.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SIZES_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>

namespace ce {

// Text beyond this height is clipped to it: a glyph of the largest size is already 1 MiB of
// coverage, and no screen of the head unit shows larger text.
constexpr double kMaxPixelsPerEm = 1024;
constexpr int kDefaultCellHeight = 16;

struct FaceHandle {
    gfx::FaceSource source;
    FT_Face face = nullptr;
    FT_Size size = nullptr;
};

namespace {

// FreeType's library and the opened faces live for the whole process (never destroyed, so no
// font released during exit can outlive them).
struct FreeTypeState {
    std::mutex mutex;
    FT_Library library = nullptr;
    std::map<std::pair<std::string, int>, FT_Face> faces;
};

FreeTypeState& freeType() {
    static FreeTypeState* state = [] {
        auto* s = new FreeTypeState;
        if (FT_Init_FreeType(&s->library) != 0) s->library = nullptr;
        return s;
    }();
    return *state;
}

FT_Face openFace(FreeTypeState& ft, const gfx::FaceSource& source) {
    if (ft.library == nullptr || source.file.empty()) return nullptr;
    const auto key = std::make_pair(source.file.string(), source.index);
    if (auto it = ft.faces.find(key); it != ft.faces.end()) return it->second;
    FT_Face face = nullptr;
    if (FT_New_Face(ft.library, key.first.c_str(), source.index, &face) != 0) face = nullptr;
    if (face != nullptr && !FT_IS_SCALABLE(face)) {
        FT_Done_Face(face);
        face = nullptr;
    }
    ft.faces[key] = face;
    return face;
}

bool isControl(char32_t ch) {
    return ch < 0x20 || (ch >= 0x7F && ch < 0xA0);
}

}  // namespace

FaceHandle* FontEngine::open(const gfx::FaceSource& source) {
    for (auto& f : faces_)
        if (f->source.file == source.file && f->source.index == source.index) return f.get();
    FreeTypeState& ft = freeType();
    FT_Face face = openFace(ft, source);
    if (face == nullptr) return nullptr;
    auto handle = std::make_unique<FaceHandle>();
    handle->source = source;
    handle->face = face;
    if (FT_New_Size(face, &handle->size) != 0) return nullptr;
    FT_Activate_Size(handle->size);
    FT_Size_RequestRec req{};
    req.type = FT_SIZE_REQUEST_TYPE_NOMINAL;
    req.width = std::lround(ppemX_ * 64);
    req.height = std::lround(ppemY_ * 64);
    FT_Request_Size(face, &req);
    faces_.push_back(std::move(handle));
    return faces_.back().get();
}

FontEngine::FontEngine(const LogFont& request) : request_(request) {
    if (request_.weight <= 0) request_.weight = FW_NORMAL;  // FW_DONTCARE
    primarySource_ = gfx::resolveFace(request_.faceName, request_.weight, request_.italic);
    FreeTypeState& ft = freeType();
    std::lock_guard lock(ft.mutex);
    FT_Face face = openFace(ft, primarySource_);

    // Vertical metrics as the device computes them: a positive height is the cell (the
    // Windows ascent plus descent of the face), a negative one the em size.
    double upem = 1000, ascentUnits = 800, descentUnits = 200, avgUnits = 0, lineGapUnits = 0;
    if (face != nullptr) {
        upem = face->units_per_EM > 0 ? face->units_per_EM : 1000;
        ascentUnits = face->ascender;
        descentUnits = -face->descender;
        lineGapUnits = face->height - (face->ascender - face->descender);
        if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2)); os2 != nullptr && os2->version != 0xFFFF) {
            if (os2->usWinAscent + os2->usWinDescent > 0) {
                lineGapUnits = std::max(0.0, lineGapUnits - ((os2->usWinAscent + os2->usWinDescent) - (ascentUnits + descentUnits)));
                ascentUnits = os2->usWinAscent;
                descentUnits = os2->usWinDescent;
            }
            avgUnits = os2->xAvgCharWidth;
        }
        if (ascentUnits + descentUnits <= 0) { ascentUnits = upem * 0.8; descentUnits = upem * 0.2; }
    }
    const double cellUnits = ascentUnits + descentUnits;
    int height = request.height == 0 ? kDefaultCellHeight : request.height;
    if (height > 0) ppemY_ = height * upem / cellUnits;
    else ppemY_ = -static_cast<double>(height);
    if (ppemY_ > kMaxPixelsPerEm) {
        ppemY_ = kMaxPixelsPerEm;
        height = -static_cast<int>(kMaxPixelsPerEm);
    }
    ppemY_ = std::max(ppemY_, 1.0);
    const double scale = ppemY_ / upem;
    metrics_.ascent = static_cast<int>(std::lround(ascentUnits * scale));
    if (height > 0) {
        metrics_.height = height;
        metrics_.descent = height - metrics_.ascent;
    } else {
        metrics_.descent = static_cast<int>(std::lround(descentUnits * scale));
        metrics_.height = metrics_.ascent + metrics_.descent;
    }
    metrics_.internalLeading = std::max(0, metrics_.height - static_cast<int>(std::lround(ppemY_)));
    metrics_.externalLeading = static_cast<int>(std::lround(lineGapUnits * scale));
    const double naturalAvg = avgUnits > 0 ? avgUnits * scale : ppemY_ / 2;
    ppemX_ = request.width > 0 ? std::min(ppemY_ * request.width / naturalAvg, kMaxPixelsPerEm) : ppemY_;
    metrics_.aveCharWidth = static_cast<int>(std::lround(naturalAvg * ppemX_ / ppemY_));
    metrics_.maxCharWidth = face != nullptr ? static_cast<int>(std::lround(face->max_advance_width * ppemX_ / upem)) : 0;
    metrics_.weight = request_.weight;
    if (face != nullptr) {
        underlinePos_ = std::max(1, static_cast<int>(std::lround(-face->underline_position * scale)));
        lineThickness_ = std::max(1, static_cast<int>(std::lround(face->underline_thickness * scale)));
    }
    open(primarySource_);
}

FontEngine::~FontEngine() {
    FreeTypeState& ft = freeType();
    std::lock_guard lock(ft.mutex);
    for (auto& f : faces_) FT_Done_Size(f->size);
}

FaceHandle* FontEngine::faceFor(char32_t ch, unsigned& glyphIndex) {
    FaceHandle* primary = faces_.empty() ? nullptr : faces_.front().get();
    glyphIndex = primary != nullptr ? FT_Get_Char_Index(primary->face, ch) : 0;
    if (glyphIndex != 0) return primary;
    auto it = fallback_.find(ch);
    if (it == fallback_.end()) {
        FaceHandle* found = nullptr;
        if (auto source = gfx::resolveFaceForChar(ch, request_.weight, request_.italic)) found = open(*source);
        it = fallback_.emplace(ch, found).first;
    }
    if (it->second != nullptr) {
        glyphIndex = FT_Get_Char_Index(it->second->face, ch);
        if (glyphIndex != 0) return it->second;
    }
    glyphIndex = 0;  // no font has it: the primary face's missing-glyph box
    return primary;
}

void FontEngine::render(FaceHandle& face, unsigned glyphIndex, Glyph& out) {
    const bool mono = request_.quality == NONANTIALIASED_QUALITY;
    FT_Activate_Size(face.size);
    const FT_Int32 flags = FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
    if (FT_Load_Glyph(face.face, glyphIndex, flags) != 0) return;
    FT_GlyphSlot slot = face.face->glyph;
    // Synthetic bold and italic for faces that lack the real ones, decided per face: a
    // fallback face may well have the bold the primary lacks, or the other way round.
    if (face.source.embolden) FT_GlyphSlot_Embolden(slot);
    if (face.source.oblique) FT_GlyphSlot_Oblique(slot);
    out.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    if (FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return;
    const FT_Bitmap& bm = slot->bitmap;
    out.left = slot->bitmap_left;
    out.top = slot->bitmap_top;
    out.width = static_cast<int>(bm.width);
    out.height = static_cast<int>(bm.rows);
    out.coverage.assign(static_cast<size_t>(out.width) * out.height, 0);
    for (int y = 0; y < out.height; ++y) {
        const unsigned char* src = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
        uint8_t* dst = &out.coverage[static_cast<size_t>(y) * out.width];
        if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
            for (int x = 0; x < out.width; ++x) dst[x] = (src[x / 8] & (0x80 >> (x % 8))) ? 255 : 0;
        } else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
            std::copy(src, src + out.width, dst);
        }
    }
}

const Glyph& FontEngine::glyphLocked(char32_t ch) {
    if (auto it = cache_.find(ch); it != cache_.end()) return it->second;
    Glyph g;
    if (!isControl(ch)) {
        unsigned index = 0;
        if (FaceHandle* face = faceFor(ch, index)) render(*face, index, g);
    }
    return cache_.emplace(ch, std::move(g)).first->second;
}

void FontEngine::glyphs(std::span<const char32_t> chars, std::vector<const Glyph*>& out) {
    std::lock_guard lock(freeType().mutex);
    out.clear();
    out.reserve(chars.size());
    for (char32_t ch : chars) out.push_back(&glyphLocked(ch));
}

const Glyph& FontEngine::glyph(char32_t ch) {
    std::lock_guard lock(freeType().mutex);
    return glyphLocked(ch);
}

}  // namespace ce
