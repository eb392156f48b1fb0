// BMP decoding: ImageMagick-written files at every depth against ImageMagick's own decoding,
// and files that are broken on purpose.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "platform/gfx/bmp.h"
#include "platform/gfx/png.h"
#include "platform/gfx/testing/golden.h"
#include "sim/headunit/headunit.h"

namespace ce {
namespace {

const std::filesystem::path kData = std::filesystem::path(GFX_TEST_DATA) / "bmp";

std::vector<uint8_t> readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A BMP put together field by field, for the cases no tool writes.
struct BmpBuilder {
    uint32_t headerSize = 40;
    int32_t width = 2, height = 2;
    uint16_t bitCount = 24;
    uint32_t compression = 0, colorsUsed = 0;
    std::vector<uint32_t> masks;    // written after a 40-byte header
    std::vector<uint32_t> palette;  // RGBQUAD values 0x00RRGGBB
    std::vector<uint8_t> pixels;
    int64_t pixelOffsetAdjust = 0;

    std::vector<uint8_t> build() const {
        std::vector<uint8_t> out;
        auto u16 = [&](uint16_t v) { out.push_back(v & 0xFF); out.push_back(v >> 8); };
        auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) out.push_back((v >> (8 * i)) & 0xFF); };
        const uint32_t offset = 14 + headerSize + 4 * static_cast<uint32_t>(masks.size() + palette.size());
        u16(0x4D42); u32(0); u32(0); u32(static_cast<uint32_t>(offset + pixelOffsetAdjust));
        u32(headerSize); u32(static_cast<uint32_t>(width)); u32(static_cast<uint32_t>(height));
        u16(1); u16(bitCount); u32(compression); u32(0); u32(2835); u32(2835); u32(colorsUsed); u32(0);
        out.resize(14 + headerSize, 0);
        for (uint32_t m : masks) u32(m);
        for (uint32_t c : palette) u32(c);
        out.insert(out.end(), pixels.begin(), pixels.end());
        return out;
    }
};

class BmpGoldenTest : public ::testing::TestWithParam<const char*> {};

TEST_P(BmpGoldenTest, DecodesLikeAnIndependentDecoder) {
    const std::string name = GetParam();
    auto image = loadBmpFile(kData / (name + ".bmp"));
    ASSERT_TRUE(image) << "error " << image.error();
    // 5- and 6-bit channels may round one step differently when widened to 8 bits.
    const testing::GoldenTolerance tolerance{name.find("rgb5") == 0 ? 1 : 0, 0.0};
    const auto result = testing::compareWithGolden(*image, kData / (name + ".png"), GFX_ACTUAL_DIR, tolerance);
    EXPECT_TRUE(result.ok) << result.message;
}

INSTANTIATE_TEST_SUITE_P(EveryDepthAndHeader, BmpGoldenTest,
                         ::testing::Values("pal1", "pal4", "pal4_v5", "pal4_topdown", "pal8", "rle8", "rgb555_v5",
                                           "rgb565", "rgb565_v5", "rgb24", "rgb24_core", "rgb24_v4", "rgb24_v5",
                                           "rgb24_topdown", "rgb32", "argb32_v5"));

TEST(BmpTest, EveryTruncationIsRefusedWithoutReadingPastTheEnd) {
    for (const auto& entry : std::filesystem::directory_iterator(kData)) {
        if (entry.path().extension() != ".bmp") continue;
        const std::vector<uint8_t> whole = readFile(entry.path());
        ASSERT_TRUE(decodeBmp(whole)) << entry.path();
        for (size_t len = 0; len + 3 < whole.size(); ++len) {
            // An exact-size copy, so that any read past `len` is caught by the sanitizers.
            const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(len));
            EXPECT_FALSE(decodeBmp(cut)) << entry.path().filename() << " cut to " << len << " bytes";
        }
    }
}

TEST(BmpTest, InconsistentHeadersAreRefused) {
    struct Case {
        const char* what;
        BmpBuilder bmp;
        Error expected;
    };
    BmpBuilder ok;
    ok.pixels.assign(16, 0x40);
    ASSERT_TRUE(decodeBmp(ok.build()));
    std::vector<Case> cases;
    auto add = [&](const char* what, Error expected, auto change) {
        BmpBuilder b = ok;
        change(b);
        cases.push_back({what, b, expected});
    };
    add("unknown header size", ERROR_INVALID_DATA, [](BmpBuilder& b) { b.headerSize = 64; });
    add("zero width", ERROR_INVALID_DATA, [](BmpBuilder& b) { b.width = 0; });
    add("negative width", ERROR_INVALID_DATA, [](BmpBuilder& b) { b.width = -2; });
    add("zero height", ERROR_INVALID_DATA, [](BmpBuilder& b) { b.height = 0; });
    add("dimensions beyond any screen", ERROR_NOT_ENOUGH_MEMORY, [](BmpBuilder& b) { b.width = b.height = 100000; });
    add("depth 7", ERROR_INVALID_DATA, [](BmpBuilder& b) { b.bitCount = 7; });
    add("bit fields on 24 bits", ERROR_INVALID_DATA, [](BmpBuilder& b) { b.compression = 3; b.masks = {0xFF0000, 0xFF00, 0xFF}; });
    add("mask with a gap", ERROR_INVALID_DATA, [](BmpBuilder& b) { b.bitCount = 16; b.compression = 3; b.masks = {0xF100, 0x07E0, 0x001F}; });
    add("16-bit mask beyond 16 bits", ERROR_INVALID_DATA, [](BmpBuilder& b) { b.bitCount = 16; b.compression = 3; b.masks = {0xF80000, 0x07E0, 0x001F}; });
    add("masks missing", ERROR_INVALID_DATA, [](BmpBuilder& b) { b.bitCount = 16; b.compression = 3; b.pixels.clear(); });
    add("JPEG inside", ERROR_NOT_SUPPORTED, [](BmpBuilder& b) { b.compression = 4; });
    add("unknown compression", ERROR_INVALID_DATA, [](BmpBuilder& b) { b.compression = 99; });
    add("RLE8 on 24 bits", ERROR_INVALID_DATA, [](BmpBuilder& b) { b.compression = 1; });
    add("pixel offset past the end", ERROR_INVALID_DATA, [](BmpBuilder& b) { b.pixelOffsetAdjust = 1000; });
    add("pixel offset inside the file header", ERROR_INVALID_DATA, [](BmpBuilder& b) { b.pixelOffsetAdjust = -50; });
    add("palette longer than the file", ERROR_INVALID_DATA, [](BmpBuilder& b) { b.bitCount = 8; b.pixels.clear(); b.colorsUsed = 256; });
    add("top-down RLE", ERROR_INVALID_DATA, [](BmpBuilder& b) { b.bitCount = 8; b.compression = 1; b.height = -2; b.colorsUsed = 2; b.palette = {0, 1}; });
    for (const Case& c : cases) {
        auto result = decodeBmp(c.bmp.build());
        EXPECT_FALSE(result) << c.what;
        EXPECT_EQ(result.error(), c.expected) << c.what;
    }
    std::vector<uint8_t> notBmp = ok.build();
    notBmp[0] = 'P';
    EXPECT_EQ(decodeBmp(notBmp).error(), ERROR_INVALID_DATA);
}

TEST(BmpTest, IndicesBeyondThePaletteAreBlackAndAlphaIsIgnored) {
    BmpBuilder indexed;
    indexed.bitCount = 8;
    indexed.colorsUsed = 2;
    indexed.palette = {0x112233, 0x445566};
    indexed.pixels = {1, 200, 0, 0, 0, 1, 0, 0};  // bottom row first, rows padded to 4 bytes
    auto image = decodeBmp(indexed.build());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixel(0, 1), 0x445566u);
    EXPECT_EQ(image->pixel(1, 1), 0u);
    EXPECT_EQ(image->pixel(1, 0), 0x445566u);

    BmpBuilder argb;
    argb.headerSize = 40;
    argb.bitCount = 32;
    argb.width = 1;
    argb.height = 1;
    argb.pixels = {0x30, 0x20, 0x10, 0x80};
    image = decodeBmp(argb.build());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixel(0, 0), 0x102030u);
}

TEST(BmpTest, RunLengthStreamsWithDeltasAndAbsoluteRuns) {
    BmpBuilder rle;
    rle.bitCount = 4;
    rle.compression = 2;  // RLE4
    rle.width = 6;
    rle.height = 3;
    rle.colorsUsed = 4;
    rle.palette = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
    rle.pixels = {
        5, 0x12,              // bottom row: 1 2 1 2 1
        0, 0,                 // end of line
        0, 3, 0x32, 0x10,     // absolute run of 3: 3 2 1 (padded to 2 bytes)
        0, 2, 2, 1,           // delta: right 2, up 1 -> x 5, top row
        1, 0x30,              // one pixel of colour 3
        0, 1,                 // end of bitmap
    };
    auto image = decodeBmp(rle.build());
    ASSERT_TRUE(image) << image.error();
    const uint32_t bottom[] = {0x0000FF, 0x00FF00, 0x0000FF, 0x00FF00, 0x0000FF, 0};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(image->pixel(x, 2), bottom[x]) << x;
    EXPECT_EQ(image->pixel(0, 1), 0xFF0000u);
    EXPECT_EQ(image->pixel(2, 1), 0x0000FFu);
    EXPECT_EQ(image->pixel(3, 1), 0u);  // skipped pixels keep colour 0
    EXPECT_EQ(image->pixel(5, 0), 0xFF0000u);

    rle.pixels.resize(rle.pixels.size() - 2);  // no end-of-bitmap mark: truncated
    EXPECT_EQ(decodeBmp(rle.build()).error(), ERROR_INVALID_DATA);
}

TEST(BmpTest, RunsAndDeltasThatLeaveThePictureAreCutAtItsEdge) {
    BmpBuilder rle;
    rle.bitCount = 8;
    rle.compression = 1;  // RLE8
    rle.width = 4;
    rle.height = 2;
    rle.colorsUsed = 2;
    rle.palette = {0x000000, 0xFFFFFF};
    rle.pixels = {
        200, 1,          // a run far wider than the row
        0, 2, 255, 255,  // a delta far beyond the right and top edges
        9, 1,            // more pixels, all outside
        0, 3, 1, 1, 1, 0,  // an absolute run outside
        0, 1,
    };
    auto image = decodeBmp(rle.build());
    ASSERT_TRUE(image) << image.error();
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(image->pixel(x, 1), 0xFFFFFFu) << x;
        EXPECT_EQ(image->pixel(x, 0), 0u) << x;
    }
}

TEST(BmpTest, ShortRunLengthDataCannotClaimAHugePicture) {
    BmpBuilder rle;
    rle.bitCount = 8;
    rle.compression = 1;
    rle.width = rle.height = 4096;  // 64 MiB of pixels from a few bytes
    rle.colorsUsed = 2;
    rle.palette = {0, 0xFFFFFF};
    rle.pixels = {0, 0, 0, 1};
    EXPECT_EQ(decodeBmp(rle.build()).error(), ERROR_INVALID_DATA);
    rle.width = rle.height = 1000;  // a blank picture of a sane size stays readable
    auto blank = decodeBmp(rle.build());
    ASSERT_TRUE(blank) << blank.error();
    EXPECT_EQ(blank->pixel(999, 0), 0u);
}

TEST(BmpTest, EncodedPicturesReadBackPixelForPixel) {
    Surface picture(5, 3);  // 15 bytes a row: padded to 16
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) picture.setPixel(x, y, static_cast<uint32_t>(x * 0x310000 + y * 0x2200 + x + y));
    auto back = decodeBmp(encodeBmp24(picture));
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(*back, picture);
}

TEST(BmpTest, LoadsThroughDevicePathsCaseInsensitively) {
    sim::TempHeadUnit headUnit;
    std::filesystem::create_directories(headUnit.nand() / "ZEK" / "Kelo_ZEK_IMG");
    std::filesystem::copy_file(kData / "pal4.bmp", headUnit.nand() / "ZEK" / "Kelo_ZEK_IMG" / "Kelo_ZEK_BG_01.BMP");
    auto bitmap = shLoadDIBitmap("\\NAND Flash\\ZEK\\Kelo_ZEK_IMG\\kelo_zek_bg_01.bmp");
    ASSERT_TRUE(bitmap) << bitmap.error();
    EXPECT_EQ((*bitmap)->width(), 13);
    auto missing = shLoadDIBitmap("\\NAND Flash\\ZEK\\Kelo_ZEK_IMG\\kelo_zek_icon_05.bmp");
    EXPECT_EQ(missing.error(), ERROR_FILE_NOT_FOUND);
}

TEST(BmpTest, LoadsNothingThroughALinkAFolderOrAFifo) {
    sim::TempHeadUnit headUnit;
    const auto outside = headUnit.root() / "outside";
    std::filesystem::create_directories(outside);
    std::filesystem::copy_file(kData / "pal4.bmp", outside / "bg.bmp");
    std::filesystem::create_directories(headUnit.nand() / "ZEK");
    std::filesystem::create_directory_symlink(outside, headUnit.nand() / "ZEK" / "Linked");
    std::filesystem::create_symlink(outside / "bg.bmp", headUnit.nand() / "ZEK" / "link.bmp");
    std::filesystem::create_directories(headUnit.nand() / "ZEK" / "folder.bmp");
    ASSERT_EQ(::mkfifo((headUnit.nand() / "ZEK" / "fifo.bmp").c_str(), 0600), 0);
    EXPECT_FALSE(shLoadDIBitmap("\\NAND Flash\\ZEK\\Linked\\bg.bmp"));
    EXPECT_FALSE(shLoadDIBitmap("\\NAND Flash\\ZEK\\link.bmp"));
    EXPECT_FALSE(shLoadDIBitmap("\\NAND Flash\\ZEK\\folder.bmp"));
    EXPECT_FALSE(shLoadDIBitmap("\\NAND Flash\\ZEK\\fifo.bmp"));  // fails at once, never blocks
    std::filesystem::copy_file(kData / "pal4.bmp", headUnit.nand() / "ZEK" / "bg.bmp");
    EXPECT_TRUE(shLoadDIBitmap("\\NAND Flash\\ZEK\\bg.bmp"));
}

}  // namespace
}  // namespace ce
