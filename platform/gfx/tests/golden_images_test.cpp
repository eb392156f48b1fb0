// Golden images of drawing: colour-keyed copy against ImageMagick's composition, and text in
// the layouts the programs use (Hangul, Cyrillic, Latin; centred, vertically centred,
// shortened with "...", wrapped). Text is compared with a tolerance, since FreeType versions
// anti-alias edges slightly differently; a moved line or a wrong break fails all the same.
// HU_UPDATE_GOLDEN=1 rewrites the text goldens after a deliberate change (look at them first).
#include <gtest/gtest.h>

#include "platform/gfx/bmp.h"
#include "platform/gfx/dc.h"
#include "platform/gfx/draw_text.h"
#include "platform/gfx/testing/golden.h"

namespace ce {
namespace {

const std::filesystem::path kData = GFX_TEST_DATA;

TEST(GoldenImageTest, ColourKeyedCopyMatchesImageMagickComposition) {
    auto background = loadBmpFile(kData / "keyed" / "background.bmp");
    auto sprite = loadBmpFile(kData / "keyed" / "sprite.bmp");
    ASSERT_TRUE(background && sprite);
    Surface screen = *background;
    Dc dc(screen);
    Dc memory = Dc::createCompatibleDC(&dc);
    memory.selectObject(std::make_shared<Surface>(*sprite));
    dc.transparentBlt(5, 3, sprite->width(), sprite->height(), memory, 0, 0, sprite->width(), sprite->height(),
                      RGB(255, 0, 255));
    const auto result = testing::compareWithGolden(screen, kData / "keyed" / "keyed_expected.png", GFX_ACTUAL_DIR);
    EXPECT_TRUE(result.ok) << result.message;
}

void frame(Dc& dc, const Rect& r) {
    dc.selectObject(nullBrush());
    dc.selectObject(createPen(PS_SOLID, 1, RGB(160, 160, 160)));
    dc.rectangle(r.left - 1, r.top - 1, r.right + 1, r.bottom + 1);
}

void text(Dc& dc, const char* s, const Rect& r, uint32_t format, int height, int weight, COLORREF color) {
    frame(dc, r);
    dc.selectObject(createFont(height, weight, "나눔고딕"));
    dc.setTextColor(color);
    drawText(dc, s, r, format);
}

TEST(GoldenImageTest, TextLayouts) {
    Surface screen(480, 300, 0xE8E8E8);
    Dc dc(screen);
    dc.setBkMode(TRANSPARENT);
    text(dc, "업그레이드가 정상적으로 완료 되었습니다.", {10, 10, 470, 50}, DT_CENTER | DT_VCENTER | DT_SINGLELINE, 20,
         FW_NORMAL, RGB(0, 0, 0));
    text(dc, "Невский проспект — Санкт-Петербург", {10, 60, 200, 100}, DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS, 24,
         FW_BOLD, RGB(0, 0, 160));
    dc.setBkMode(OPAQUE);
    dc.setBkColor(RGB(255, 230, 0));
    text(dc, "Exit", {210, 60, 470, 100}, DT_RIGHT | DT_VCENTER | DT_SINGLELINE, 30, FW_BOLD, RGB(0, 0, 0));
    dc.setBkMode(TRANSPARENT);
    text(dc, "Copy : \\NAND Flash\\ZEK\\Kelo_ZEK.exe(42%)\r\nВерсия 1.0", {10, 110, 230, 290},
         DT_CENTER | DT_WORDBREAK, 18, FW_NORMAL, RGB(0, 0, 0));
    text(dc, "Сеул 서울 Seoul їҐ", {240, 110, 470, 150}, DT_LEFT | DT_VCENTER | DT_SINGLELINE, 30, FW_BOLD,
         RGB(0, 110, 0));
    // A status line as the installer draws it: on a piece of background, narrowed by 30 pixels
    // on both sides, black, vertically centred.
    Rect status{240, 160, 470, 210};
    dc.fillRect(status, createSolidBrush(RGB(120, 170, 220)));
    text(dc, "Verifying CRC32 : 75%", inflateRect(status, -30, 0), DT_VCENTER, 16, FW_NORMAL, RGB(0, 0, 0));
    // A panel cell: shadow one pixel down, then the text.
    const Rect cell{240, 220, 470, 290};
    dc.fillRect(cell, createSolidBrush(RGB(30, 30, 60)));
    text(dc, "1.2 km", offsetRect(cell, 0, 1), DT_CENTER | DT_VCENTER, 50, FW_BOLD, RGB(0, 0, 0));
    text(dc, "1.2 km", cell, DT_CENTER | DT_VCENTER, 50, FW_BOLD, RGB(255, 255, 255));

    const auto result = testing::compareWithGolden(screen, kData / "golden" / "text_layouts.png", GFX_ACTUAL_DIR,
                                                   testing::GoldenTolerance{80, 0.01});
    EXPECT_TRUE(result.ok) << result.message;
}

}  // namespace
}  // namespace ce
