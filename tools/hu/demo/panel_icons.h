#pragma once
// What the guidance panel's icon areas must show, worked out from the records it was sent and
// the head unit's guidance rules, and the comparison of a captured screen with it.
//
// The rules: a turn code draws its arrow on the first two records of a run of that code
// (codes 0-22, 103 and 104 colour-keyed with 0x000C00 over the restored background, codes
// 23-50 opaque; other codes leave the area as it was); a safety icon code (111, 112, 113, 117,
// 118, 124, 129) draws its icon opaque on the first two records of its run and restores the
// background from the third on; the safety text codes (143, 151-164, 166-179, 201-214,
// 232-245, 246) leave the area alone; every other safety code restores the background. A hide,
// an expand and an orientation toggle start the runs anew. Icons are not part of the panel's
// stored picture, so after the panel was shown anew, raised or resized an area is unknown
// until a record draws it.

#include <filesystem>
#include <optional>
#include <string>

#include "platform/gfx/surface.h"
#include "platform/ui/types.h"

namespace hu::demo {

// What one icon area holds: an image of the panel's table (its id) or the background.
struct AreaContent {
    int imageId = -1;  // -1: the background
    bool keyed = false;
    bool operator==(const AreaContent&) const = default;
};

class PanelIconModel {
public:
    // A record reached the panel with these codes.
    void record(int turnCode, int safetyCode);
    // A hide, an expand or an orientation toggle: the runs start anew.
    void restartRuns();
    // The panel was repainted or another panel raised: what the areas show is unknown.
    void forgetAreas();

    const std::optional<AreaContent>& turnArea() const { return turn_; }
    const std::optional<AreaContent>& safetyArea() const { return safety_; }

private:
    int previousTurn_ = 0, turnRepeats_ = 0;
    int previousSafety_ = 0, safetyRepeats_ = 0;
    std::optional<AreaContent> turn_, safety_;
};

// The file name of an image id of the panel's table ("kelo_zek_icon_05.bmp" for id 7).
std::string panelImageFile(int imageId);

// Compares the 80 x 70 icon area at `panelOrigin` + `area` of a captured screen with what it
// must show: the installed bitmap (keyed: the background where the bitmap holds the key) or
// the installed background. "" when every pixel matches, else the first difference.
std::string compareIconArea(const ce::Surface& screen, ce::Point panelOrigin, ce::Point area, const AreaContent& expected,
                            bool horizontal, const std::filesystem::path& imageFolder);

}  // namespace hu::demo
