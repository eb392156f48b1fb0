#include "tools/hu/demo/panel_icons.h"

#include <fmt/format.h>

#include <map>

#include "platform/gfx/bmp.h"

namespace hu::demo {

namespace {

constexpr uint32_t kArrowKey = 0x000C00;  // 0x00RRGGBB of the colour reference 0x000C00

bool safetyIcon(int code) {
    return code == 111 || code == 112 || code == 113 || code == 117 || code == 118 || code == 124 || code == 129;
}
bool safetyText(int code) {
    return code == 143 || (code >= 151 && code <= 164) || (code >= 166 && code <= 179) || (code >= 201 && code <= 214) ||
           (code >= 232 && code <= 245) || code == 246;
}
int safetyImageId(int code) {
    static const std::map<int, int> ids = {{111, 56}, {112, 57}, {113, 58}, {117, 59}, {118, 60}, {124, 61}, {129, 62}};
    return ids.at(code);
}

// One run counter: 0 for a new code, one more for each repeat.
void countRun(int code, int& previous, int& repeats) {
    if (code != previous) {
        repeats = 0;
        previous = code;
    } else {
        ++repeats;
    }
}

}  // namespace

void PanelIconModel::record(int turn, int safety) {
    countRun(turn, previousTurn_, turnRepeats_);
    if (turnRepeats_ < 2) {
        if (turn <= 22) turn_ = AreaContent{turn + 2, true};
        else if (turn <= 50) turn_ = AreaContent{turn + 2, false};
        else if (turn == 103) turn_ = AreaContent{53, true};
        else if (turn == 104) turn_ = AreaContent{54, true};
    }
    countRun(safety, previousSafety_, safetyRepeats_);
    if (safetyIcon(safety) && safetyRepeats_ <= 1) safety_ = AreaContent{safetyImageId(safety), false};
    else if (!safetyText(safety)) safety_ = AreaContent{};
}

void PanelIconModel::restartRuns() { turnRepeats_ = safetyRepeats_ = 0; }

void PanelIconModel::forgetAreas() {
    turn_.reset();
    safety_.reset();
}

std::string panelImageFile(int id) {
    if (id == 0) return "Kelo_ZEK_BG_01.BMP";
    if (id == 1) return "Kelo_ZEK_BG_02.BMP";
    if (id >= 2 && id <= 52) return fmt::format("kelo_zek_icon_{:02}.bmp", id - 2);
    static const char* const rest[] = {"103", "104", "107", "111", "112", "113", "117", "118", "124", "129",
                                       "151_164", "201_214", "232_245", "246", "247", "248", "249", "250", "251"};
    if (id >= 53 && id <= 71) return fmt::format("kelo_zek_icon_{}.bmp", rest[id - 53]);
    static const char* const buttons[] = {"bt_blanks_on_n.bmp", "bt_blanks_on_s.bmp", "bt_blanks_off_n.bmp", "bt_blanks_off_s.bmp"};
    if (id >= 72 && id <= 75) return buttons[id - 72];
    return {};
}

std::string compareIconArea(const ce::Surface& screen, ce::Point origin, ce::Point area, const AreaContent& expected,
                            bool horizontal, const std::filesystem::path& folder) {
    const std::string backgroundFile = panelImageFile(horizontal ? 0 : 1);
    auto background = ce::loadBmpFile(folder / backgroundFile);
    if (!background.ok()) return fmt::format("cannot read the installed {} (error {})", backgroundFile, background.error());
    std::optional<ce::Surface> image;
    if (expected.imageId >= 0) {
        auto loaded = ce::loadBmpFile(folder / panelImageFile(expected.imageId));
        if (!loaded.ok()) return fmt::format("cannot read the installed {} (error {})", panelImageFile(expected.imageId), loaded.error());
        image = std::move(*loaded);
    }
    const std::string what = expected.imageId >= 0 ? panelImageFile(expected.imageId) + (expected.keyed ? " keyed" : " opaque")
                                                   : "the background";
    for (int y = 0; y < 70; ++y) {
        for (int x = 0; x < 80; ++x) {
            const int px = area.x + x, py = area.y + y;
            uint32_t want = background->pixel(px, py);
            if (image && x < image->width() && y < image->height()) {
                const uint32_t p = image->pixel(x, y);
                if (!expected.keyed || p != kArrowKey) want = p;
            }
            const uint32_t got = screen.pixel(origin.x + px, origin.y + py) & 0xFFFFFF;
            if (got != (want & 0xFFFFFF))
                return fmt::format("{} at {},{}: pixel {},{} of the area is {:06X}, not {:06X}", what, origin.x + area.x,
                                   origin.y + area.y, x, y, got, want & 0xFFFFFF);
        }
    }
    return {};
}

}  // namespace hu::demo
