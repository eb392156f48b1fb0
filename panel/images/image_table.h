#pragma once
// The panel's pictures: 76 bitmap files in "\NAND Flash\ZEK\Kelo_ZEK_IMG", each known by an id
// that equals its place in the table. The numbers in the icon names are the guidance codes the
// icons stand for.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gfx/surface.h"

namespace panel {

// Ids the program draws by name.
enum ImageId : int32_t {
    IMG_BG_HORIZONTAL = 0,      // "Kelo_ZEK_BG_01.BMP", 800 x 150
    IMG_BG_VERTICAL = 1,        // "Kelo_ZEK_BG_02.BMP", 250 x 480
    IMG_TURN_FIRST = 2,         // "kelo_zek_icon_00.bmp": turn code 0; code n is id n + 2 up to 50
    IMG_TURN_103 = 53,
    IMG_TURN_104 = 54,
    IMG_SAFETY_111 = 56,        // 56..62: codes 111, 112, 113, 117, 118, 124, 129
    IMG_BUTTON_ON_NORMAL = 72,  // "bt_blanks_on_n.bmp"
    IMG_BUTTON_ON_PRESSED = 73,
    IMG_BUTTON_OFF_NORMAL = 74,
    IMG_BUTTON_OFF_PRESSED = 75,
};

inline constexpr int kImageCount = 76;
inline constexpr const char* kImageFolder = "\\NAND Flash\\ZEK\\Kelo_ZEK_IMG\\";

struct ImageEntry {
    int32_t id = -1;  // a negative id ends the table
    int32_t x = 0;    // default position
    int32_t y = 0;
    std::string fileName;
    ce::HBITMAP bitmap;  // empty until loaded, and when the file is missing or unreadable
};

// The 76 entries followed by the end marker, bitmaps not loaded.
std::vector<ImageEntry> MakeImageTable();

}  // namespace panel
