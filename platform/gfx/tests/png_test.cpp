// PNG files and the golden comparison built on them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/gfx/png.h"
#include "platform/gfx/testing/golden.h"

namespace ce {
namespace {

struct TempDir {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("gfx-png-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    TempDir() { std::filesystem::create_directories(path); }
    ~TempDir() { std::filesystem::remove_all(path); }
};

Surface sample() {
    Surface s(7, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) s.row(y)[x] = static_cast<uint32_t>((x * 40) << 16 | (y * 60) << 8 | (x * y * 9));
    return s;
}

TEST(PngTest, WrittenImagesReadBackIdentically) {
    TempDir dir;
    const Surface s = sample();
    ASSERT_EQ(writePng(s, dir.path / "a.png"), ERROR_SUCCESS);
    auto back = readPng(dir.path / "a.png");
    ASSERT_TRUE(back);
    EXPECT_TRUE(*back == s);
    auto bytes = encodePng(s);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::vector<char>(bytes->begin(), bytes->end()).size(), std::filesystem::file_size(dir.path / "a.png"));

    EXPECT_EQ(writePng(s, dir.path / "no" / "such" / "a.png"), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(readPng(dir.path / "missing.png").error(), ERROR_FILE_NOT_FOUND);
    std::filesystem::copy_file(std::filesystem::path(GFX_TEST_DATA) / "bmp" / "rgb24.bmp", dir.path / "fake.png");
    EXPECT_EQ(readPng(dir.path / "fake.png").error(), ERROR_INVALID_DATA);
}

TEST(PngTest, GoldenMismatchWritesTheActualImageAndNamesTheFirstDifference) {
    TempDir dir;
    const Surface expected = sample();
    ASSERT_EQ(writePng(expected, dir.path / "scene.png"), ERROR_SUCCESS);
    Surface actual = expected;
    actual.setPixel(4, 2, actual.pixel(4, 2) ^ 0x000010);  // 16 steps of blue
    actual.setPixel(6, 4, actual.pixel(6, 4) ^ 0x800000);

    ::unsetenv("HU_UPDATE_GOLDEN");
    auto strict = testing::compareWithGolden(actual, dir.path / "scene.png", dir.path / "out");
    EXPECT_FALSE(strict.ok);
    EXPECT_NE(strict.message.find("2 of 35 pixels"), std::string::npos) << strict.message;
    EXPECT_NE(strict.message.find("(4, 2)"), std::string::npos) << strict.message;
    auto written = readPng(dir.path / "out" / "scene.actual.png");
    ASSERT_TRUE(written);
    EXPECT_TRUE(*written == actual);

    EXPECT_FALSE(testing::compareWithGolden(actual, dir.path / "scene.png", dir.path / "out", {16, 0.0}).ok);
    EXPECT_TRUE(testing::compareWithGolden(actual, dir.path / "scene.png", dir.path / "out", {16, 0.03}).ok);
    EXPECT_FALSE(testing::compareWithGolden(Surface(7, 4), dir.path / "scene.png", dir.path / "out").ok);
}

}  // namespace
}  // namespace ce
