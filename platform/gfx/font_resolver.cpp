// Face resolution with fontconfig, plus a small table of fonts the program added itself.
//
// Application fonts are kept in our own table instead of fontconfig's application set, because
// fontconfig can only drop all application fonts at once while the programs remove one file.
#include "platform/gfx/font_resolver.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "platform/gfx/font.h"

namespace ce::gfx {
namespace {

std::mutex g_mutex;  // fontconfig calls and the application font table

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x < 0x80) x = static_cast<unsigned char>(std::tolower(x));
        if (y < 0x80) y = static_cast<unsigned char>(std::tolower(y));
        if (x != y) return false;
    }
    return true;
}

// Names that stand for "the system's default face" on the device.
bool isDefaultAlias(std::string_view name) {
    return name.empty() || sameName(name, "MS Shell Dlg") || sameName(name, "MS Shell Dlg 2") ||
           sameName(name, "System") || sameName(name, "MS Sans Serif");
}

bool isBold(int weight) { return weight >= 600; }

FcConfig* config() {
    static FcConfig* cfg = [] {
        FcInit();
        return FcConfigGetCurrent();
    }();
    return cfg;
}

std::vector<std::string> stringsOf(FcPattern* p, const char* object) {
    std::vector<std::string> out;
    FcChar8* s = nullptr;
    for (int i = 0; FcPatternGetString(p, object, i, &s) == FcResultMatch; ++i) out.emplace_back(reinterpret_cast<char*>(s));
    return out;
}

int intOf(FcPattern* p, const char* object, int fallback) {
    int v = fallback;
    FcPatternGetInteger(p, object, 0, &v);
    return v;
}

// A face described by fontconfig, as our FaceSource.
FaceSource sourceOf(FcPattern* font, int weight, bool italic) {
    FaceSource s;
    FcChar8* file = nullptr;
    if (FcPatternGetString(font, FC_FILE, 0, &file) == FcResultMatch) s.file = reinterpret_cast<char*>(file);
    s.index = intOf(font, FC_INDEX, 0);
    const auto families = stringsOf(font, FC_FAMILY);
    if (!families.empty()) s.family = families.front();
    FcBool embolden = FcFalse;
    FcPatternGetBool(font, FC_EMBOLDEN, 0, &embolden);
    s.embolden = isBold(weight) && (embolden || intOf(font, FC_WEIGHT, FC_WEIGHT_REGULAR) < FC_WEIGHT_DEMIBOLD);
    s.oblique = italic && intOf(font, FC_SLANT, FC_SLANT_ROMAN) == FC_SLANT_ROMAN;
    return s;
}

FcPattern* requestPattern(std::string_view family, int weight, bool italic) {
    FcPattern* p = FcPatternCreate();
    const std::string name(family);
    FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcPatternAddInteger(p, FC_WEIGHT, FcWeightFromOpenType(std::clamp(weight, 1, 1000)));
    FcPatternAddInteger(p, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(p, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config(), p, FcMatchPattern);
    FcDefaultSubstitute(p);
    return p;
}

// The best installed face of exactly this family (any of its names, localized ones included),
// or nothing when fontconfig would only offer a substitute.
std::optional<FaceSource> matchFamily(std::string_view family, int weight, bool italic) {
    FcPattern* p = requestPattern(family, weight, italic);
    FcResult result = FcResultNoMatch;
    FcPattern* font = FcFontMatch(config(), p, &result);
    FcPatternDestroy(p);
    if (font == nullptr) return std::nullopt;
    std::optional<FaceSource> found;
    const auto families = stringsOf(font, FC_FAMILY);
    const auto fullNames = stringsOf(font, FC_FULLNAME);
    const auto named = [&](const std::vector<std::string>& names) {
        return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return sameName(n, family); });
    };
    if (named(families) || named(fullNames)) found = sourceOf(font, weight, italic);
    FcPatternDestroy(font);
    return found;
}

// ---- Application fonts ----------------------------------------------------------------------

struct AppFace {
    int index = 0;
    std::vector<std::string> names;  // families and full names
    int weight = FC_WEIGHT_REGULAR;
    int slant = FC_SLANT_ROMAN;
};

struct AppFont {
    std::filesystem::path file;
    int refs = 0;
    std::vector<AppFace> faces;
};

std::vector<AppFont>& appFonts() {
    static auto* fonts = new std::vector<AppFont>;
    return *fonts;
}

std::optional<FaceSource> matchAppFont(std::string_view family, int weight, bool italic) {
    const int wanted = FcWeightFromOpenType(std::clamp(weight, 1, 1000));
    const AppFont* bestFont = nullptr;
    const AppFace* best = nullptr;
    int bestScore = 0;
    for (const AppFont& font : appFonts())
        for (const AppFace& face : font.faces) {
            if (std::none_of(face.names.begin(), face.names.end(), [&](const std::string& n) { return sameName(n, family); }))
                continue;
            const int score = std::abs(face.weight - wanted) + ((face.slant != FC_SLANT_ROMAN) != italic ? 1000 : 0);
            if (best == nullptr || score < bestScore) { best = &face; bestFont = &font; bestScore = score; }
        }
    if (best == nullptr) return std::nullopt;
    FaceSource s;
    s.file = bestFont->file;
    s.index = best->index;
    s.family = best->names.empty() ? std::string() : best->names.front();
    s.embolden = isBold(weight) && best->weight < FC_WEIGHT_DEMIBOLD;
    s.oblique = italic && best->slant == FC_SLANT_ROMAN;
    return s;
}

}  // namespace

FaceSource resolveFace(std::string_view faceName, int weight, bool italic) {
    std::lock_guard lock(g_mutex);
    if (!isDefaultAlias(faceName)) {
        if (auto own = matchAppFont(faceName, weight, italic)) return *own;
        if (auto installed = matchFamily(faceName, weight, italic)) return *installed;
    }
    if (auto own = matchAppFont(kDefaultFaceName, weight, italic)) return *own;
    if (auto def = matchFamily(kDefaultFaceName, weight, italic)) return *def;
    // No default face installed: whatever fontconfig offers for a sans-serif.
    FcPattern* p = requestPattern("sans-serif", weight, italic);
    FcResult result = FcResultNoMatch;
    FcPattern* font = FcFontMatch(config(), p, &result);
    FcPatternDestroy(p);
    FaceSource s;
    if (font != nullptr) {
        s = sourceOf(font, weight, italic);
        FcPatternDestroy(font);
    }
    return s;
}

std::optional<FaceSource> resolveFaceForChar(char32_t ch, int weight, bool italic) {
    std::lock_guard lock(g_mutex);
    // Every installed font in fontconfig's order of likeness to the default face, sorted once
    // per style; a character then costs one look at each font's character set, not a query.
    struct Candidate {
        FcCharSet* charset;  // owned (never released: the list lives as long as the process)
        FaceSource source;
    };
    static auto* lists = new std::map<std::pair<bool, bool>, std::vector<Candidate>>;
    const auto key = std::make_pair(isBold(weight), italic);
    auto it = lists->find(key);
    if (it == lists->end()) {
        std::vector<Candidate> candidates;
        FcPattern* p = requestPattern(kDefaultFaceName, weight, italic);
        FcResult result = FcResultNoMatch;
        FcFontSet* set = FcFontSort(config(), p, FcFalse, nullptr, &result);
        for (int i = 0; set != nullptr && i < set->nfont; ++i) {
            FcCharSet* cs = nullptr;
            if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &cs) != FcResultMatch) continue;
            FcPattern* font = FcFontRenderPrepare(config(), p, set->fonts[i]);
            if (font == nullptr) continue;
            candidates.push_back({FcCharSetCopy(cs), sourceOf(font, weight, italic)});
            FcPatternDestroy(font);
        }
        if (set != nullptr) FcFontSetDestroy(set);
        FcPatternDestroy(p);
        it = lists->emplace(key, std::move(candidates)).first;
    }
    for (const Candidate& c : it->second)
        if (FcCharSetHasChar(c.charset, ch)) return c.source;
    return std::nullopt;
}

int addApplicationFont(const std::filesystem::path& file) {
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(file, ec);
    if (ec || !std::filesystem::is_regular_file(canonical, ec)) return 0;
    std::lock_guard lock(g_mutex);
    config();
    for (AppFont& font : appFonts())
        if (font.file == canonical) {
            ++font.refs;
            return static_cast<int>(font.faces.size());
        }
    AppFont font{canonical, 1, {}};
    int count = 0;
    for (int index = 0; index < 64; ++index) {
        FcPattern* face = FcFreeTypeQuery(reinterpret_cast<const FcChar8*>(canonical.c_str()), index, nullptr, &count);
        if (face == nullptr) break;
        AppFace f;
        f.index = index;
        f.names = stringsOf(face, FC_FAMILY);
        for (auto& n : stringsOf(face, FC_FULLNAME)) f.names.push_back(std::move(n));
        f.weight = intOf(face, FC_WEIGHT, FC_WEIGHT_REGULAR);
        f.slant = intOf(face, FC_SLANT, FC_SLANT_ROMAN);
        FcPatternDestroy(face);
        font.faces.push_back(std::move(f));
        if (index + 1 >= count) break;
    }
    if (font.faces.empty()) return 0;
    appFonts().push_back(std::move(font));
    return static_cast<int>(appFonts().back().faces.size());
}

bool removeApplicationFont(const std::filesystem::path& file) {
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(file, ec);
    if (ec) return false;
    std::lock_guard lock(g_mutex);
    auto& fonts = appFonts();
    const auto it = std::find_if(fonts.begin(), fonts.end(), [&](const AppFont& f) { return f.file == canonical; });
    if (it == fonts.end()) return false;
    if (--it->refs == 0) fonts.erase(it);
    return true;
}

}  // namespace ce::gfx

// fontconfig keeps a few blocks from parsing its configuration files unreachable for the
// life of the process (its own leak, not ours). Leak checking in sanitizer builds would fail
// every program that draws text at exit, so blocks allocated inside fontconfig are not
// reported. (The library has no frame pointers, so the stack of such a block shows nothing
// but fontconfig: the library is all a suppression can name.)
#if defined(__SANITIZE_ADDRESS__)
#define HU_GFX_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HU_GFX_LEAK_CHECKED 1
#endif
#endif
#ifdef HU_GFX_LEAK_CHECKED
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
#endif
