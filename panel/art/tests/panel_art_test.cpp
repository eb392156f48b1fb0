// The generated artwork as the panel uses it: every file of the image table, sizes that fit
// the icon areas and the button, key colours exactly where the panel keys them, opaque icons
// that match the wells of both backgrounds, and a picture of its own for every turn code.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "platform/gfx/bmp.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kArrowKey = 0x000C00;   // as a surface pixel 0x00RRGGBB: red 0, green 12, blue 0
constexpr uint32_t kButtonKey = 0x808080;

std::vector<std::string> TableFileNames() {
    std::vector<std::string> names = {"Kelo_ZEK_BG_01.BMP", "Kelo_ZEK_BG_02.BMP"};
    char name[64];
    for (int i = 0; i <= 50; ++i) {
        std::snprintf(name, sizeof name, "kelo_zek_icon_%02d.bmp", i);
        names.push_back(name);
    }
    for (const char* codes : {"103", "104", "107", "111", "112", "113", "117", "118", "124", "129", "151_164", "201_214",
                              "232_245", "246", "247", "248", "249", "250", "251"})
        names.push_back(std::string("kelo_zek_icon_") + codes + ".bmp");
    for (const char* b : {"bt_blanks_on_n.bmp", "bt_blanks_on_s.bmp", "bt_blanks_off_n.bmp", "bt_blanks_off_s.bmp"}) names.push_back(b);
    return names;
}

class PanelArt : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new fs::path(fs::temp_directory_path() / ("panel-art-" + std::to_string(::getpid())));
        fs::create_directories(*dir_);
        const std::string command = std::string(HU_BIN_DIR) + "/panel_art_generator " + dir_->string();
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    static void TearDownTestSuite() {
        fs::remove_all(*dir_);
        delete dir_;
    }
    static ce::Surface Load(const std::string& name) {
        auto s = ce::loadBmpFile(*dir_ / name);
        EXPECT_TRUE(s.ok()) << name;
        return s.ok() ? std::move(*s) : ce::Surface();
    }
    static std::string Icon(int code) {
        char name[64];
        std::snprintf(name, sizeof name, code <= 50 ? "kelo_zek_icon_%02d.bmp" : "kelo_zek_icon_%d.bmp", code);
        return name;
    }
    static fs::path* dir_;
};
fs::path* PanelArt::dir_ = nullptr;

TEST_F(PanelArt, WritesEveryFileOfTheImageTableAndNothingElse) {
    std::set<std::string> written;
    for (const auto& e : fs::directory_iterator(*dir_)) written.insert(e.path().filename().string());
    const auto table = TableFileNames();
    ASSERT_EQ(table.size(), 76u);
    EXPECT_EQ(written, std::set<std::string>(table.begin(), table.end()));
    for (const auto& name : table) {
        const ce::Surface s = Load(name);
        if (name == "Kelo_ZEK_BG_01.BMP") EXPECT_EQ(std::make_pair(s.width(), s.height()), std::make_pair(800, 150));
        else if (name == "Kelo_ZEK_BG_02.BMP") EXPECT_EQ(std::make_pair(s.width(), s.height()), std::make_pair(250, 480));
        else if (name.rfind("bt_", 0) == 0) EXPECT_EQ(std::make_pair(s.width(), s.height()), std::make_pair(57, 60)) << name;
        else EXPECT_EQ(std::make_pair(s.width(), s.height()), std::make_pair(80, 70)) << name;
    }
}

// Keyed arrows: the key colour around the arrow and nowhere a colour that is almost the key
// (a fringe would show as dark green specks on the panel).
TEST_F(PanelArt, KeyedArrowsCarryTheKeyColourAroundTheArrow) {
    std::vector<int> keyed;
    for (int code = 0; code <= 22; ++code) keyed.push_back(code);
    keyed.push_back(103);
    keyed.push_back(104);
    for (int code : keyed) {
        const ce::Surface s = Load(Icon(code));
        int key = 0, nearKey = 0, white = 0;
        for (int y = 0; y < s.height(); ++y)
            for (int x = 0; x < s.width(); ++x) {
                const uint32_t p = s.pixel(x, y);
                const int r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
                if (p == kArrowKey) ++key;
                else if (r < 8 && b < 8 && g < 20) ++nearKey;
                if (r > 0xE0 && g > 0xE0 && b > 0xE0) ++white;
            }
        EXPECT_GT(key, s.width() * s.height() / 4) << code;
        EXPECT_EQ(nearKey, 0) << code;
        EXPECT_GT(white, 100) << code << ": no arrow";
    }
}

// Opaque icons fill their well: their edge is the colour both backgrounds hold in the icon
// areas, so drawn opaque they sit seamlessly on either panel.
TEST_F(PanelArt, OpaqueIconsMatchTheWellsOfBothBackgrounds) {
    const ce::Surface across = Load("Kelo_ZEK_BG_01.BMP");
    const ce::Surface down = Load("Kelo_ZEK_BG_02.BMP");
    const uint32_t well = across.pixel(360, 32);
    struct Area { const ce::Surface* bg; int x, y; };
    for (const Area& a : {Area{&across, 360, 32}, Area{&across, 700, 70}, Area{&down, 40, 200}, Area{&down, 40, 10}})
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 80; ++x) ASSERT_EQ(a.bg->pixel(a.x + x, a.y + y), well) << a.x << "," << a.y << " +" << x << "," << y;

    std::vector<std::string> opaque;
    for (int code = 23; code <= 50; ++code) opaque.push_back(Icon(code));
    for (const auto& name : TableFileNames())
        if (name.find("icon_1") != std::string::npos && name.size() > 20 && name != Icon(103) && name != Icon(104)) opaque.push_back(name);
    for (const char* more : {"246", "247", "248", "249", "250", "251"}) opaque.push_back(std::string("kelo_zek_icon_") + more + ".bmp");
    for (const auto& name : opaque) {
        const ce::Surface s = Load(name);
        // Roads may run out of the picture; the rest of its edge is the well.
        int edge = 0, wellEdge = 0;
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 80; ++x)
                if (x == 0 || y == 0 || x == 79 || y == 69) {
                    ++edge;
                    wellEdge += s.pixel(x, y) == well ? 1 : 0;
                }
        EXPECT_GT(wellEdge * 10, edge * 7) << name;
        for (int y = 0; y < s.height(); ++y)
            for (int x = 0; x < s.width(); ++x) ASSERT_NE(s.pixel(x, y), kArrowKey) << name;
    }
}

TEST_F(PanelArt, ButtonImagesAreKeyedAndDifferByState) {
    std::set<std::vector<uint32_t>> pictures;
    for (const char* name : {"bt_blanks_on_n.bmp", "bt_blanks_on_s.bmp", "bt_blanks_off_n.bmp", "bt_blanks_off_s.bmp"}) {
        const ce::Surface s = Load(name);
        EXPECT_EQ(s.pixel(0, 0), kButtonKey) << name;
        EXPECT_EQ(s.pixel(56, 59), kButtonKey) << name;
        EXPECT_NE(s.pixel(20, 30), kButtonKey) << name;  // the tab itself, inside the collapsed 40 pixels
        std::vector<uint32_t> all;
        for (int y = 0; y < s.height(); ++y)
            for (int x = 0; x < s.width(); ++x) all.push_back(s.pixel(x, y));
        pictures.insert(all);
    }
    EXPECT_EQ(pictures.size(), 4u);
}

TEST_F(PanelArt, EveryTurnCodeHasAPictureOfItsOwn) {
    std::map<std::vector<uint32_t>, int> seen;
    std::vector<int> codes;
    for (int code = 0; code <= 50; ++code) codes.push_back(code);
    codes.push_back(103);
    codes.push_back(104);
    for (int code : codes) {
        const ce::Surface s = Load(Icon(code));
        std::vector<uint32_t> all;
        for (int y = 0; y < s.height(); ++y)
            for (int x = 0; x < s.width(); ++x) all.push_back(s.pixel(x, y));
        auto [it, fresh] = seen.emplace(all, code);
        EXPECT_TRUE(fresh) << "code " << code << " looks like code " << it->second;
    }
}

}  // namespace
