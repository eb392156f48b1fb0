// Device contexts over surfaces: clipping and origins, raster operations, scaled and
// colour-keyed copies, memory contexts, lines.
#include <gtest/gtest.h>

#include "platform/gfx/dc.h"
#include "platform/gfx/draw_text.h"
#include "platform/gfx/tests/ink.h"

namespace ce {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kRedPixel = 0xFF0000;

// A surface whose pixel value encodes its position, so a copy shows where each pixel came from.
Surface numbered(int w, int h) {
    Surface s(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) s.row(y)[x] = static_cast<uint32_t>(y * 256 + x + 1);
    return s;
}

TEST(DcTest, ChildContextDrawsOnlyInsideItsClipAndReportsWhatItTouched) {
    Surface parent(20, 20, kWhite);
    Rect released{};
    {
        Dc child(parent, Point{5, 5}, Rect{5, 5, 10, 10});
        child.setReleaseHook([&](const Rect& dirty) { released = dirty; });
        EXPECT_EQ(child.getClipBox().right, 5);
        child.fillRect(Rect{-100, -100, 100, 100}, createSolidBrush(RGB(255, 0, 0)));
        child.selectObject(createPen(PS_SOLID, 3, RGB(0, 0, 255)));
        child.moveTo(-50, 2);
        child.lineTo(50, 2);
        Surface source(30, 30, 0x00FF00);
        Dc sourceDc(source);
        child.bitBlt(-10, -10, 30, 30, sourceDc, 0, 0, SRCCOPY);
        drawText(child, "WWWWWWWWWWWW", Rect{-40, -40, 40, 40}, DT_NOCLIP);
        EXPECT_EQ(child.getPixel(5, 0), CLR_INVALID);  // outside the clip
    }
    EXPECT_EQ(gfxtest::inkBounds(parent, kWhite).left, 5);
    EXPECT_EQ(gfxtest::inkBounds(parent, kWhite).right, 10);
    EXPECT_EQ(gfxtest::countPixels(parent, kWhite), 20 * 20 - 25);
    EXPECT_EQ(released.left, 5);
    EXPECT_EQ(released.bottom, 10);
}

TEST(DcTest, RasterOperationsCombineTargetSourceAndBrush) {
    const uint32_t d = 0xCC3300, s = 0x55AA0F;
    const COLORREF brush = RGB(0x12, 0x34, 0x56);
    const uint32_t p = pixelFromColor(brush);
    struct Case { uint32_t rop; uint32_t expected; } cases[] = {
        {SRCCOPY, s}, {SRCPAINT, d | s}, {SRCAND, d & s}, {SRCINVERT, d ^ s}, {SRCERASE, s & ~d & 0xFFFFFF},
        {NOTSRCCOPY, ~s & 0xFFFFFF}, {DSTINVERT, ~d & 0xFFFFFF}, {PATCOPY, p}, {PATINVERT, d ^ p},
        {BLACKNESS, 0}, {WHITENESS, 0xFFFFFF},
    };
    for (const Case& c : cases) {
        Surface target(2, 2, d), source(2, 2, s);
        Dc dst(target), src(source);
        dst.selectObject(createSolidBrush(brush));
        ASSERT_TRUE(dst.bitBlt(0, 0, 2, 1, src, 0, 0, c.rop)) << std::hex << c.rop;
        EXPECT_EQ(target.pixel(1, 0), c.expected) << std::hex << c.rop;
        EXPECT_EQ(target.pixel(1, 1), d) << "row outside the block changed, rop " << std::hex << c.rop;
    }
    Surface target(2, 2, d);
    Dc dst(target);
    EXPECT_FALSE(dst.bitBlt(0, 0, 2, 2, dst, 0, 0, 0x12345678));
    EXPECT_EQ(target.pixel(0, 0), d);
}

TEST(DcTest, CopiesWithinOneSurfaceReadTheSourceBeforeWriting) {
    Surface s = numbered(10, 1);
    Dc dc(s);
    dc.bitBlt(2, 0, 8, 1, dc, 0, 0, SRCCOPY);
    for (int x = 2; x < 10; ++x) EXPECT_EQ(s.pixel(x, 0), static_cast<uint32_t>(x - 1)) << x;

    Surface t = numbered(10, 1);
    Dc tdc(t);
    tdc.stretchBlt(10, 0, -10, 1, tdc, 0, 0, 10, 1, SRCCOPY);  // mirrored onto itself
    for (int x = 0; x < 10; ++x) EXPECT_EQ(t.pixel(x, 0), static_cast<uint32_t>(10 - x)) << x;
}

TEST(DcTest, CopyLeavesTargetPixelsThatHaveNoSource) {
    Surface target(6, 6, kWhite), source = numbered(4, 4);
    Dc dst(target), src(source);
    dst.bitBlt(0, 0, 6, 6, src, 2, 2, SRCCOPY);  // only 2 x 2 source pixels exist there
    EXPECT_EQ(target.pixel(0, 0), source.pixel(2, 2));
    EXPECT_EQ(target.pixel(1, 1), source.pixel(3, 3));
    EXPECT_EQ(gfxtest::countPixels(target, kWhite), 36 - 4);
}

TEST(DcTest, StretchBltScalesByPixelCentresAndMirrorsOnNegativeSizes) {
    Surface source = numbered(4, 2);
    Dc src(source);
    Surface up(8, 4);
    Dc upDc(up);
    upDc.stretchBlt(0, 0, 8, 4, src, 0, 0, 4, 2, SRCCOPY);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(up.pixel(x, y), source.pixel(x / 2, y / 2)) << x << "," << y;

    Surface down(2, 1);
    Dc downDc(down);
    downDc.stretchBlt(0, 0, 2, 1, src, 0, 0, 4, 2, SRCCOPY);
    EXPECT_EQ(down.pixel(0, 0), source.pixel(1, 1));
    EXPECT_EQ(down.pixel(1, 0), source.pixel(3, 1));

    Surface mirrored(4, 2);
    Dc mirroredDc(mirrored);
    mirroredDc.stretchBlt(4, 0, -4, 2, src, 0, 0, 4, 2, SRCCOPY);
    EXPECT_EQ(mirrored.pixel(0, 0), source.pixel(3, 0));
    EXPECT_EQ(mirrored.pixel(3, 1), source.pixel(0, 1));
}

TEST(DcTest, StretchBltOfEqualSizeCopiesThePieceExactly) {
    // The installer restores the background under its status line this way: a 568 x 50 piece
    // at 117, 169 of the full-screen picture onto the control.
    Surface picture = numbered(800, 480);
    auto bitmap = std::make_shared<Surface>(picture);
    Dc memory = Dc::createCompatibleDC();
    memory.selectObject(bitmap);
    Surface control(568, 50);
    Dc dc(control);
    ASSERT_TRUE(dc.stretchBlt(0, 0, 568, 50, memory, 117, 169, 568, 50, SRCCOPY));
    for (int y = 0; y < 50; y += 7)
        for (int x = 0; x < 568; x += 13) ASSERT_EQ(control.pixel(x, y), picture.pixel(117 + x, 169 + y));
}

TEST(DcTest, TransparentBltKeepsTargetWhereSourceHasTheKeyColour) {
    const COLORREF key = RGB(255, 0, 255);
    Surface sprite(2, 2, pixelFromColor(key));
    sprite.setPixel(1, 0, 0x123456);
    sprite.setPixel(0, 1, pixelFromColor(key) ^ 1);  // one bit off the key: drawn
    Dc src(sprite);
    Surface target(4, 4, kWhite);
    Dc dst(target);
    dst.transparentBlt(0, 0, 4, 4, src, 0, 0, 2, 2, key);  // scaled 2x
    EXPECT_EQ(target.pixel(0, 0), kWhite);
    EXPECT_EQ(target.pixel(3, 1), 0x123456u);
    EXPECT_EQ(target.pixel(1, 3), pixelFromColor(key) ^ 1);
    EXPECT_EQ(target.pixel(3, 3), kWhite);
    EXPECT_EQ(gfxtest::countPixels(target, kWhite), 8);
}

TEST(DcTest, MemoryContextDrawsIntoTheSelectedBitmap) {
    Dc memory = Dc::createCompatibleDC();
    ASSERT_NE(memory.currentBitmap(), nullptr);
    EXPECT_EQ(memory.currentBitmap()->width(), 1);
    HBITMAP bitmap = createCompatibleBitmap(memory, 5, 4);
    HBITMAP previous = memory.selectObject(bitmap);
    EXPECT_EQ(previous->width(), 1);
    memory.fillRect(Rect{1, 1, 3, 3}, createSolidBrush(RGB(255, 0, 0)));
    EXPECT_EQ(bitmap->pixel(1, 1), kRedPixel);
    EXPECT_EQ(bitmap->pixel(3, 3), 0u);  // right and bottom edges excluded
    EXPECT_EQ(memory.selectObject(previous), bitmap);

    Surface window(3, 3);
    Dc windowDc(window);
    EXPECT_EQ(windowDc.selectObject(bitmap), nullptr);
    EXPECT_EQ(windowDc.target(), &window);
}

TEST(DcTest, LinesExcludeTheEndPointAndRectanglesFillInsideThePen) {
    Surface s(10, 10, kWhite);
    Dc dc(s);
    dc.moveTo(0, 0);
    dc.lineTo(5, 0);
    EXPECT_EQ(gfxtest::countPixels(s, 0), 5);
    dc.lineTo(5, 5);  // from (5,0): includes (5,0), excludes (5,5)
    EXPECT_EQ(s.pixel(5, 4), 0u);
    EXPECT_EQ(s.pixel(5, 5), kWhite);

    Surface r(10, 10, kWhite);
    Dc rdc(r);
    rdc.selectObject(createSolidBrush(RGB(255, 0, 0)));
    rdc.rectangle(1, 1, 6, 6);
    EXPECT_EQ(r.pixel(1, 1), 0u);
    EXPECT_EQ(r.pixel(5, 5), 0u);
    EXPECT_EQ(r.pixel(3, 3), kRedPixel);
    EXPECT_EQ(r.pixel(6, 6), kWhite);
    rdc.selectObject(nullBrush());
    rdc.rectangle(0, 0, 10, 10);
    EXPECT_EQ(r.pixel(3, 3), kRedPixel);
}

TEST(SurfaceTest, ViewsWriteThroughAndCopiesOwnTheirPixels) {
    std::vector<uint32_t> memory(4 * 3, 7);
    Surface view = Surface::wrap(memory.data(), 3, 3, 4);
    ASSERT_FALSE(view.ownsPixels());
    view.setPixel(2, 1, 0xABCDEF);
    EXPECT_EQ(memory[1 * 4 + 2], 0xABCDEFu);
    EXPECT_EQ(memory[1 * 4 + 3], 7u);  // the stride's spare pixel is untouched
    EXPECT_FALSE(view.resize(5, 5));

    Surface copy = view;
    EXPECT_TRUE(copy.ownsPixels());
    copy.setPixel(0, 0, 1);
    EXPECT_EQ(memory[0], 7u);
    EXPECT_TRUE(copy.pixel(2, 1) == 0xABCDEFu && copy.pixel(-1, 0) == 0 && copy.pixel(3, 0) == 0);
    copy.setPixel(100, 100, 1);  // ignored, no overrun
}

}  // namespace
}  // namespace ce
