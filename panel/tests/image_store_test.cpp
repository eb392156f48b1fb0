// The image table and the image store: which files, drawn where, keyed or opaque, in part or
// as one frame of a strip; missing files and ids draw nothing.

#include <gtest/gtest.h>

#include "panel/images/draw_surface.h"
#include "panel/images/image_store.h"
#include "panel/tests/test_support.h"

namespace panel {
namespace {

using testing::IconPixel;
using testing::PositionPixel;

constexpr uint32_t kCanvas = 0x123456;

// A 200 x 200 memory context filled with kCanvas.
struct Canvas {
    ce::Dc dc = ce::Dc::createCompatibleDC();
    ce::HBITMAP bitmap = ce::createCompatibleBitmap(dc, 200, 200);
    Canvas() {
        bitmap->fill(kCanvas);
        dc.selectObject(bitmap);
    }
    uint32_t at(int x, int y) const { return bitmap->pixel(x, y); }
};

class ImageStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::InstallTestImages({"kelo_zek_icon_05.bmp"});
        // Id 55 becomes a strip 100 pixels wide whose pixels tell their position.
        testing::WriteBitmap(testing::ImageFolder() / "kelo_zek_icon_107.bmp", testing::PositionCoded(100, 10, 7));
        ASSERT_TRUE(store.LoadAll());
    }
    CImageStore store;
};

TEST(ImageTable, SeventySixNamedEntriesAndAnEndMarker) {
    const auto table = MakeImageTable();
    ASSERT_EQ(table.size(), 77u);
    for (int i = 0; i < kImageCount; ++i) {
        EXPECT_EQ(table[static_cast<size_t>(i)].id, i);
        EXPECT_EQ(table[static_cast<size_t>(i)].x, 0);
        EXPECT_EQ(table[static_cast<size_t>(i)].y, 0);
    }
    EXPECT_LT(table.back().id, 0);
    const std::pair<int, const char*> names[] = {
        {0, "Kelo_ZEK_BG_01.BMP"},       {1, "Kelo_ZEK_BG_02.BMP"},        {2, "kelo_zek_icon_00.bmp"},
        {7, "kelo_zek_icon_05.bmp"},     {52, "kelo_zek_icon_50.bmp"},     {53, "kelo_zek_icon_103.bmp"},
        {55, "kelo_zek_icon_107.bmp"},   {56, "kelo_zek_icon_111.bmp"},    {62, "kelo_zek_icon_129.bmp"},
        {63, "kelo_zek_icon_151_164.bmp"}, {65, "kelo_zek_icon_232_245.bmp"}, {66, "kelo_zek_icon_246.bmp"},
        {71, "kelo_zek_icon_251.bmp"},   {72, "bt_blanks_on_n.bmp"},       {75, "bt_blanks_off_s.bmp"},
    };
    for (const auto& [id, name] : names) EXPECT_EQ(table[static_cast<size_t>(id)].fileName, name) << id;
}

TEST_F(ImageStoreTest, LoadsOnceAndFindsByIdUpToTheEndMarker) {
    EXPECT_FALSE(store.LoadAll());
    ASSERT_NE(store.Find(75), nullptr);
    EXPECT_NE(store.Find(75)->bitmap, nullptr);
    EXPECT_EQ(store.Find(76), nullptr);
    EXPECT_EQ(store.Find(-1), nullptr);
    EXPECT_EQ(store.Find(7)->bitmap, nullptr);  // the missing file
    store.Destroy();
    EXPECT_EQ(store.Find(0)->bitmap, nullptr);
    EXPECT_TRUE(store.LoadAll());
}

TEST_F(ImageStoreTest, OpaqueAndKeyedDrawsLandWhereAsked) {
    Canvas canvas;
    store.Draw(canvas.dc, 10, 30, 40);  // opaque: the key block is copied like any pixel
    EXPECT_EQ(canvas.at(29, 40), kCanvas);
    EXPECT_EQ(canvas.at(30, 40), testing::kTurnKeyPixel);
    EXPECT_EQ(canvas.at(30 + 79, 40 + 69), IconPixel(10));
    EXPECT_EQ(canvas.at(30 + 80, 40), kCanvas);

    Canvas keyed;
    store.SetKeyed(true, 0x000C00);
    store.Draw(keyed.dc, 10, 30, 40);
    store.SetKeyed(false, 0);
    EXPECT_EQ(keyed.at(30, 40), kCanvas);        // the key colour stays transparent
    EXPECT_EQ(keyed.at(30 + 39, 40 + 34), kCanvas);
    EXPECT_EQ(keyed.at(30 + 40, 40), IconPixel(10));
    EXPECT_EQ(keyed.at(30, 40 + 35), IconPixel(10));

    Canvas atDefault;
    store.Draw(atDefault.dc, 10);
    EXPECT_EQ(atDefault.at(79, 69), IconPixel(10));
}

TEST_F(ImageStoreTest, PartialDrawsCopyTheBlockUnderTheArea) {
    Canvas canvas;
    store.DrawPart(canvas.dc, 1, 20, 30, 50, 40, 120, 300, ce::SRCCOPY);
    EXPECT_EQ(canvas.at(19, 30), kCanvas);
    EXPECT_EQ(canvas.at(20, 30), PositionPixel(120, 300, testing::kVerticalSalt));
    EXPECT_EQ(canvas.at(69, 69), PositionPixel(169, 339, testing::kVerticalSalt));
    EXPECT_EQ(canvas.at(70, 69), kCanvas);
    EXPECT_EQ(canvas.at(69, 70), kCanvas);

    Canvas sized;
    store.SetTarget(&sized.dc);
    store.DrawSized(1, 5, 6, 10, 10);
    store.SetTarget(nullptr);
    EXPECT_EQ(sized.at(5, 6), PositionPixel(0, 0, testing::kVerticalSalt));
    EXPECT_EQ(sized.at(14, 15), PositionPixel(9, 9, testing::kVerticalSalt));
    EXPECT_EQ(sized.at(15, 6), kCanvas);
}

TEST_F(ImageStoreTest, FramesOfAStripUseIntegerFrameWidths) {
    Canvas canvas;
    ASSERT_TRUE(store.DrawFrame(canvas.dc, 55, 3, 2, 10, 20, ce::SRCCOPY));  // 100 / 3 = 33 wide
    EXPECT_EQ(canvas.at(10, 20), PositionPixel(66, 0, 7));
    EXPECT_EQ(canvas.at(42, 29), PositionPixel(98, 9, 7));
    EXPECT_EQ(canvas.at(43, 20), kCanvas);

    Canvas whole;  // a frame count below 1: the bitmap is one frame
    ASSERT_TRUE(store.DrawFrame(whole.dc, 55, 0, 5, 0, 0, ce::SRCCOPY));
    EXPECT_EQ(whole.at(99, 9), PositionPixel(99, 9, 7));
    Canvas atDefault;
    ASSERT_TRUE(store.DrawFrame(atDefault.dc, 55, -4, 0, -1, 50, ce::SRCCOPY));  // -1: default position
    EXPECT_EQ(atDefault.at(0, 0), PositionPixel(0, 0, 7));
    EXPECT_EQ(atDefault.at(0, 50), kCanvas);

    Canvas beyond;  // a frame past the strip copies nothing
    EXPECT_TRUE(store.DrawFrame(beyond.dc, 55, 3, 3, 0, 0, ce::SRCCOPY));
    EXPECT_EQ(beyond.at(0, 0), kCanvas);
    EXPECT_FALSE(store.DrawFrame(beyond.dc, 7, 1, 0, 0, 0, ce::SRCCOPY));   // missing file
    EXPECT_FALSE(store.DrawFrame(beyond.dc, 99, 1, 0, 0, 0, ce::SRCCOPY));  // no such id
}

TEST_F(ImageStoreTest, MissingFilesAndIdsDrawNothing) {
    Canvas canvas;
    store.Draw(canvas.dc, 7, 0, 0);
    store.Draw(canvas.dc, 500, 0, 0);
    store.DrawPart(canvas.dc, -3, 0, 0, 50, 50, 0, 0, ce::SRCCOPY);
    for (int y = 0; y < 200; y += 7)
        for (int x = 0; x < 200; x += 7) ASSERT_EQ(canvas.at(x, y), kCanvas) << x << "," << y;
}

TEST(DrawSurfaceTest, CreatedOnceAndCopiedBothWays) {
    DrawSurface surface;
    ce::Dc reference;
    ASSERT_TRUE(surface.Create(reference, 30, 20));
    EXPECT_FALSE(surface.Create(reference, 5, 5));
    EXPECT_EQ(surface.width(), 30);
    Canvas canvas;
    canvas.bitmap->setPixel(12, 13, 0xABCDEF);
    surface.CopyFrom(canvas.dc, 10, 10, 30, 20);
    EXPECT_EQ(surface.dc().getPixel(2, 3), ce::colorFromPixel(0xABCDEF));
    surface.CopyTo(canvas.dc, 100, 100, 30, 20);
    EXPECT_EQ(canvas.at(102, 103), 0xABCDEFu);
    surface.Destroy();
    EXPECT_FALSE(surface.IsCreated());
    EXPECT_TRUE(surface.Create(reference, 5, 5));
}

}  // namespace
}  // namespace panel
