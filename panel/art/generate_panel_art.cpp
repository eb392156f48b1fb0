// Draws the guidance panel's 76 bitmaps into a folder, under the file names the panel loads
// from "\NAND Flash\ZEK\Kelo_ZEK_IMG": the two backgrounds, the turn arrows, the safety icons
// and the expand/collapse button in its four states (panel_look.h says how they fit together).
// usage: generate_panel_art OUT_DIR

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "panel/art/panel_look.h"

namespace {

using panelart::Picture;

struct Entry {
    std::string file;
    Picture picture;
};

std::string iconName(const std::string& codes) { return "kelo_zek_icon_" + codes + ".bmp"; }

std::vector<Entry> panelImages() {
    using namespace panelart;
    std::vector<Entry> images;
    images.push_back({"Kelo_ZEK_BG_01.BMP", background(kHorizontal)});
    images.push_back({"Kelo_ZEK_BG_02.BMP", background(kVertical)});
    for (int code = 0; code <= 50; ++code) {
        char number[8];
        std::snprintf(number, sizeof number, "%02d", code);
        images.push_back({iconName(number), turnIcon(code)});
    }
    for (int code : {103, 104, 107}) images.push_back({iconName(std::to_string(code)), turnIcon(code)});
    for (int code : {111, 112, 113, 117, 118, 124, 129}) images.push_back({iconName(std::to_string(code)), safetyIcon(code)});
    images.push_back({iconName("151_164"), safetyIcon(151)});
    images.push_back({iconName("201_214"), safetyIcon(201)});
    images.push_back({iconName("232_245"), safetyIcon(232)});
    for (int code = 246; code <= 251; ++code) images.push_back({iconName(std::to_string(code)), safetyIcon(code)});
    images.push_back({"bt_blanks_on_n.bmp", expandButton(true, false)});
    images.push_back({"bt_blanks_on_s.bmp", expandButton(true, true)});
    images.push_back({"bt_blanks_off_n.bmp", expandButton(false, false)});
    images.push_back({"bt_blanks_off_s.bmp", expandButton(false, true)});
    return images;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: generate_panel_art OUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const auto images = panelImages();
    if (images.size() != 76) {
        std::fprintf(stderr, "generate_panel_art: %zu pictures instead of the panel's 76\n", images.size());
        return 1;
    }
    for (const auto& image : images) {
        const auto bytes = panelart::bmpFile(image.picture);
        std::ofstream out(dir + "/" + image.file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "generate_panel_art: cannot write %s/%s\n", dir.c_str(), image.file.c_str());
            return 1;
        }
    }
    return 0;
}
