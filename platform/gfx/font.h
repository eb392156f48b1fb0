#pragma once
// Fonts: a LOGFONT-style request resolved to real font files through fontconfig and rendered
// with FreeType.
//
// Face names resolve the way the device resolves them: a family is found under any of its
// names, localized ones included ("나눔고딕" finds NanumGothic), fonts a program added with
// addFontResource() come first, and "MS Shell Dlg", "System", an empty name or a face that
// is not installed fall back to the default face (NanumGothic, which has Hangul and Cyrillic).
// Characters a face lacks are taken glyph by glyph from the next font that has them
// (fontconfig's fallback order for the default face, DejaVu among them), so no text comes out
// as empty boxes just because one face misses a script.
//
// Heights are pixels, as in LOGFONT: a positive height is the cell height (ascent + descent),
// a negative one the character height (the em size), 0 a default. Weight 700 and above is
// bold: the bold face when the family has one, synthetic emboldening otherwise. Fonts are
// immutable and shared; identical requests return the same object, whose anti-aliased glyphs
// are cached for its lifetime. Everything here is safe to use from several threads.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/error.h"
#include "platform/gfx/surface.h"

namespace ce {

enum : int { FW_NORMAL = 400, FW_BOLD = 700 };
enum : uint8_t { DEFAULT_CHARSET = 1 };
enum : uint8_t { DEFAULT_QUALITY = 0, NONANTIALIASED_QUALITY = 3, ANTIALIASED_QUALITY = 4, CLEARTYPE_QUALITY = 5 };

// The request, field for field as the programs fill a LOGFONT. Escapement, orientation,
// precisions and pitch are kept for the record but do not change the rendering.
struct LogFont {
    int height = 0;
    int width = 0;  // 0: natural width; otherwise the average character width in pixels
    int escapement = 0;
    int orientation = 0;
    int weight = FW_NORMAL;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    uint8_t charSet = DEFAULT_CHARSET;
    uint8_t outPrecision = 0;
    uint8_t clipPrecision = 2;
    uint8_t quality = CLEARTYPE_QUALITY;  // NONANTIALIASED_QUALITY renders hard edges, all else anti-aliased
    uint8_t pitchAndFamily = 0;
    std::string faceName;  // UTF-8; the device's field holds 32 UTF-16 units, longer names are cut there

    bool operator==(const LogFont&) const = default;
};

// Vertical and horizontal metrics of a font in pixels (TEXTMETRIC).
struct TextMetrics {
    int height = 0;  // ascent + descent: the distance between lines
    int ascent = 0;
    int descent = 0;
    int internalLeading = 0;  // height minus the em size
    int externalLeading = 0;
    int aveCharWidth = 0;
    int maxCharWidth = 0;
    int weight = FW_NORMAL;
};

class FontEngine;  // the FreeType side (font_engine.h), not part of the interface

class Font {
public:
    const LogFont& logFont() const { return logFont_; }
    const TextMetrics& metrics() const { return metrics_; }
    // What the request resolved to: the primary face's family and file.
    const std::string& familyName() const { return familyName_; }
    const std::filesystem::path& fontFile() const { return fontFile_; }

    // Internal: the renderer behind this font (glyphs, advances).
    FontEngine& engine() const { return *engine_; }

    Font(LogFont request, std::shared_ptr<FontEngine> engine);
    ~Font();

private:
    LogFont logFont_;
    TextMetrics metrics_;
    std::string familyName_;
    std::filesystem::path fontFile_;
    std::shared_ptr<FontEngine> engine_;
};

using HFONT = std::shared_ptr<const Font>;

// Always gives a usable font: an unknown face falls back to the default face.
HFONT createFontIndirect(const LogFont& request);
// Convenience for the common case: height in pixels, weight, face ("" = default face).
HFONT createFont(int height, int weight = FW_NORMAL, std::string_view faceName = {});

// The font a fresh device context starts with ("System", 16 pixels high).
HFONT systemFont();

// The face used when a request names no installed face.
inline constexpr std::string_view kDefaultFaceName = "NanumGothic";

// Adds a font file (TrueType or OpenType, a device path such as "\NAND Flash\ZEK\NanumGothic.ttf")
// to this process's font table, as AddFontResource does: returns the number of faces added,
// 0 when the file is missing or not a font. Adding the same file again counts it again;
// each add is undone by one removeFontResource. Fonts created while the file was added keep
// working after it is removed.
int addFontResource(std::string_view devicePath);
bool removeFontResource(std::string_view devicePath);
// The same for a host file (tools and tests that have no head unit).
int addFontFile(const std::filesystem::path& hostFile);
bool removeFontFile(const std::filesystem::path& hostFile);

// Average character width and height of a font, the base of dialog units: width is the
// rounded average advance of "A".."Z" and "a".."z", height the cell height.
Size averageCharSize(const Font& font);

}  // namespace ce
