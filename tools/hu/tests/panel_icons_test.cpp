// The demo's expectation of the panel's icon areas: the guidance rules over a run of records,
// and a comparison that a shifted, unkeyed or wrongly restored draw fails.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/gfx/bmp.h"
#include "tools/hu/demo/panel_icons.h"

namespace hu::demo {
namespace {

namespace fs = std::filesystem;

TEST(PanelIconModel, FollowsTheGuidanceRules) {
    PanelIconModel m;
    EXPECT_FALSE(m.turnArea() || m.safetyArea());  // nothing known before a record
    m.record(3, 111);
    EXPECT_EQ(m.turnArea(), (AreaContent{5, true}));
    EXPECT_EQ(m.safetyArea(), (AreaContent{56, false}));
    m.record(30, 111);
    EXPECT_EQ(m.turnArea(), (AreaContent{32, false}));
    EXPECT_EQ(m.safetyArea(), (AreaContent{56, false}));  // second of its run: still drawn
    m.record(30, 111);
    EXPECT_EQ(m.safetyArea(), (AreaContent{}));  // third: the background again
    m.record(60, 160);  // unknown turn code: the arrow stays; a safety text: the area stays
    EXPECT_EQ(m.turnArea(), (AreaContent{32, false}));
    EXPECT_EQ(m.safetyArea(), (AreaContent{}));
    m.record(104, 124);
    m.record(104, 143);  // a safety text leaves the icon
    EXPECT_EQ(m.turnArea(), (AreaContent{54, true}));
    EXPECT_EQ(m.safetyArea(), (AreaContent{61, false}));
    m.record(104, 0);
    EXPECT_EQ(m.safetyArea(), (AreaContent{}));

    // A third record of a run draws nothing; after a restart of the runs it draws again.
    m.forgetAreas();
    m.record(104, 0);
    EXPECT_FALSE(m.turnArea());
    m.restartRuns();
    m.record(104, 0);
    EXPECT_EQ(m.turnArea(), (AreaContent{54, true}));
}

TEST(PanelIconModel, ImageFilesOfTheTable) {
    EXPECT_EQ(panelImageFile(0), "Kelo_ZEK_BG_01.BMP");
    EXPECT_EQ(panelImageFile(7), "kelo_zek_icon_05.bmp");
    EXPECT_EQ(panelImageFile(52), "kelo_zek_icon_50.bmp");
    EXPECT_EQ(panelImageFile(53), "kelo_zek_icon_103.bmp");
    EXPECT_EQ(panelImageFile(63), "kelo_zek_icon_151_164.bmp");
    EXPECT_EQ(panelImageFile(71), "kelo_zek_icon_251.bmp");
    EXPECT_EQ(panelImageFile(75), "bt_blanks_off_s.bmp");
}

class IconArea : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("panel-icons-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        // A position-coded background: every pixel differs from its neighbours.
        background_ = ce::Surface(250, 480);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 250; ++x) background_.setPixel(x, y, static_cast<uint32_t>((x << 12) ^ (y * 7) ^ 0x300000));
        Write("Kelo_ZEK_BG_02.BMP", background_);
        // A keyed arrow: the key colour with a solid block in the middle.
        icon_ = ce::Surface(80, 70, 0x000C00);
        icon_.fillRect({20, 10, 60, 60}, 0xF0F0F0);
        Write("kelo_zek_icon_01.bmp", icon_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    void Write(const std::string& name, const ce::Surface& s) {
        const auto bytes = ce::encodeBmp24(s);
        std::ofstream(dir_ / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    // The screen with the vertical panel at 0, 0 and the icon drawn at the turn area + shift.
    ce::Surface Screen(bool keyed, int shift = 0) {
        ce::Surface screen(800, 480, 0);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 250; ++x) screen.setPixel(x, y, background_.pixel(x, y));
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 80; ++x)
                if (!keyed || icon_.pixel(x, y) != 0x000C00) screen.setPixel(40 + x + shift, 200 + y, icon_.pixel(x, y));
        return screen;
    }
    fs::path dir_;
    ce::Surface background_, icon_;
};

TEST_F(IconArea, MatchesOnlyTheRightDraw) {
    const AreaContent arrow{3, true};
    EXPECT_EQ(compareIconArea(Screen(true), {0, 0}, {40, 200}, arrow, false, dir_), "");
    EXPECT_NE(compareIconArea(Screen(false), {0, 0}, {40, 200}, arrow, false, dir_), "");     // drawn without the key
    EXPECT_NE(compareIconArea(Screen(true, 1), {0, 0}, {40, 200}, arrow, false, dir_), "");   // one pixel off
    EXPECT_NE(compareIconArea(Screen(true), {0, 0}, {40, 200}, AreaContent{}, false, dir_), "");  // not restored
    const std::string missing = compareIconArea(Screen(true), {0, 0}, {40, 200}, AreaContent{9, false}, false, dir_);
    EXPECT_NE(missing.find("cannot read the installed kelo_zek_icon_07.bmp"), std::string::npos) << missing;
    // The panel elsewhere on the screen: the same area found at the panel's origin.
    ce::Surface moved(800, 480, 0);
    const ce::Surface at = Screen(true);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 250; ++x) moved.setPixel(x + 100, y + 330, at.pixel(x, y + 150));
    EXPECT_EQ(compareIconArea(moved, {100, 180}, {40, 200}, arrow, false, dir_), "");
}

}  // namespace
}  // namespace hu::demo
