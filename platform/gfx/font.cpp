#include "platform/gfx/font.h"

#include <deque>
#include <map>
#include <mutex>

#include "platform/core/paths.h"
#include "platform/gfx/font_engine.h"

namespace ce {

Font::Font(LogFont request, std::shared_ptr<FontEngine> engine)
    : logFont_(std::move(request)),
      metrics_(engine->metrics()),
      familyName_(engine->primary().family),
      fontFile_(engine->primary().file),
      engine_(std::move(engine)) {}

Font::~Font() = default;

namespace {

// Identical requests share one Font, and the most recently created ones stay alive for a
// while: the programs create a font, draw one text and delete it again, many times a second,
// and must not pay for loading faces and rendering glyphs each time.
class FontCache {
public:
    HFONT get(const LogFont& request) {
        std::lock_guard lock(mutex_);
        const std::string key = keyOf(request);
        HFONT font;
        if (auto it = fonts_.find(key); it != fonts_.end()) font = it->second.lock();
        if (!font) {
            font = std::make_shared<const Font>(request, std::make_shared<FontEngine>(request));
            fonts_[key] = font;
        }
        recent_.push_front(font);
        if (recent_.size() > kRecent) recent_.pop_back();
        prune();
        return font;
    }

    // After the font table changed, requests must be resolved again; fonts already handed
    // out stay as they are.
    void invalidate() {
        std::lock_guard lock(mutex_);
        fonts_.clear();
        recent_.clear();
    }

private:
    static constexpr size_t kRecent = 32;

    static std::string keyOf(const LogFont& f) {
        std::string key = std::to_string(f.height) + '/' + std::to_string(f.width) + '/' + std::to_string(f.weight) + '/' +
                          std::to_string(f.italic) + std::to_string(f.underline) + std::to_string(f.strikeOut) + '/' +
                          std::to_string(f.quality == NONANTIALIASED_QUALITY) + '/';
        return key + f.faceName;
    }

    void prune() {
        for (auto it = fonts_.begin(); it != fonts_.end();) it = it->second.expired() ? fonts_.erase(it) : std::next(it);
    }

    std::mutex mutex_;
    std::map<std::string, std::weak_ptr<const Font>> fonts_;
    std::deque<HFONT> recent_;
};

FontCache& fontCache() {
    static auto* cache = new FontCache;  // never destroyed: fonts may be released during exit
    return *cache;
}

}  // namespace

HFONT createFontIndirect(const LogFont& request) {
    return fontCache().get(request);
}

HFONT createFont(int height, int weight, std::string_view faceName) {
    LogFont request;
    request.height = height;
    request.weight = weight;
    request.faceName = std::string(faceName);
    return createFontIndirect(request);
}

HFONT systemFont() {
    static auto* font = new HFONT(createFont(16, FW_NORMAL, "System"));
    return *font;
}

int addFontFile(const std::filesystem::path& hostFile) {
    const int added = gfx::addApplicationFont(hostFile);
    if (added > 0) fontCache().invalidate();
    return added;
}

bool removeFontFile(const std::filesystem::path& hostFile) {
    const bool removed = gfx::removeApplicationFont(hostFile);
    if (removed) fontCache().invalidate();
    return removed;
}

int addFontResource(std::string_view devicePath) {
    auto host = hostPath(devicePath);
    // Only a regular file: a link is not followed, and a FIFO would block the font library.
    std::error_code ec;
    if (!host || !std::filesystem::is_regular_file(std::filesystem::symlink_status(*host, ec))) return 0;
    return addFontFile(*host);
}

bool removeFontResource(std::string_view devicePath) {
    auto host = hostPath(devicePath);
    return host && removeFontFile(*host);
}

Size averageCharSize(const Font& font) {
    static constexpr char32_t kLetters[] = U"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::vector<const Glyph*> glyphs;
    font.engine().glyphs(std::span<const char32_t>(kLetters, 52), glyphs);
    int total = 0;
    for (const Glyph* g : glyphs) total += g->advance;
    return Size{(total / 26 + 1) / 2, font.metrics().height};
}

}  // namespace ce
