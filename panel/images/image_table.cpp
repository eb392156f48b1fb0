#include "panel/images/image_table.h"

#include <fmt/format.h>

namespace panel {

namespace {

// The icon codes of ids 53 to 71, in id order.
constexpr const char* kCodeIcons[] = {
    "103", "104", "107",                                              // 53..55
    "111", "112", "113", "117", "118", "124", "129",                  // 56..62
    "151_164", "201_214", "232_245",                                  // 63..65
    "246", "247", "248", "249", "250", "251",                         // 66..71
};

constexpr const char* kButtonImages[] = {
    "bt_blanks_on_n.bmp", "bt_blanks_on_s.bmp", "bt_blanks_off_n.bmp", "bt_blanks_off_s.bmp",  // 72..75
};

}  // namespace

std::vector<ImageEntry> MakeImageTable() {
    std::vector<std::string> names = {"Kelo_ZEK_BG_01.BMP", "Kelo_ZEK_BG_02.BMP"};
    for (int code = 0; code <= 50; ++code) names.push_back(fmt::format("kelo_zek_icon_{:02d}.bmp", code));
    for (const char* code : kCodeIcons) names.push_back(fmt::format("kelo_zek_icon_{}.bmp", code));
    for (const char* name : kButtonImages) names.push_back(name);

    std::vector<ImageEntry> table;
    for (const std::string& name : names)
        table.push_back(ImageEntry{static_cast<int32_t>(table.size()), 0, 0, name, nullptr});
    table.push_back(ImageEntry{});  // end marker
    return table;
}

}  // namespace panel
