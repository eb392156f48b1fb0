// Device paths against a head unit on disk: mounts, case-insensitive resolution, the "\Host"
// pseudo mount and wildcard names.

#include <gtest/gtest.h>

#include <fstream>

#include "platform/core/paths.h"
#include "platform/core/profile.h"
#include "sim/headunit/headunit.h"

namespace fs = std::filesystem;

namespace {

void touch(const fs::path& p) { std::ofstream(p) << "x"; }

TEST(Paths, ResolvesMountsWithoutRegardToCase) {
    sim::TempHeadUnit hu;
    fs::create_directories(hu.root() / "sdcard/UpdateXan/SFLASH");
    touch(hu.root() / "sdcard/UpdateXan/SFLASH/LOGO.BMP");

    auto p = ce::hostPath("\\sdmmc card\\updatexan\\sflash\\logo.bmp");
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(*p, hu.root() / "sdcard/UpdateXan/SFLASH/LOGO.BMP");

    // A missing last component keeps the caller's spelling (a file about to be created).
    EXPECT_EQ(*ce::hostPath("\\SDMMC Card\\UpdateXan\\new.txt"), hu.root() / "sdcard/UpdateXan/new.txt");
    // Relative paths start at the root; "." and ".." never leave the mount.
    EXPECT_EQ(*ce::hostPath("NAND Flash\\a.txt"), hu.root() / "nand/a.txt");
    EXPECT_EQ(*ce::hostPath("\\NAND Flash\\..\\..\\SDMMC Card\\.\\UpdateXan"), hu.root() / "sdcard/UpdateXan");
}

TEST(Paths, MissingFoldersAndUnknownMountsAreErrors) {
    sim::TempHeadUnit hu;
    EXPECT_EQ(ce::hostPath("\\SDMMC Card\\nope\\x.bin").error(), ce::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ce::hostPath("\\Windows\\x.bin").error(), ce::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ce::hostPath("\\").error(), ce::ERROR_PATH_NOT_FOUND);
    touch(hu.root() / "sdcard/file");
    EXPECT_EQ(ce::hostPath("\\SDMMC Card\\file\\x").error(), ce::ERROR_PATH_NOT_FOUND);
    // A removed card: the mount's folder is gone.
    fs::remove_all(hu.root() / "sdcard");
    EXPECT_EQ(ce::hostPath("\\SDMMC Card\\x.bin").error(), ce::ERROR_PATH_NOT_FOUND);
}

TEST(Paths, ExactNameWinsOverCaseVariants) {
    sim::TempHeadUnit hu;
    touch(hu.root() / "nand/abc");
    touch(hu.root() / "nand/ABC");
    EXPECT_EQ(*ce::hostPath("\\NAND Flash\\ABC"), hu.root() / "nand/ABC");
    EXPECT_EQ(*ce::hostPath("\\NAND Flash\\abc"), hu.root() / "nand/abc");
    EXPECT_EQ(*ce::hostPath("\\NAND Flash\\Abc"), hu.root() / "nand/ABC");  // first in name order
}

TEST(Paths, CaseVariantsLinksAndFilesOnTheWay) {
    sim::TempHeadUnit hu;
    const fs::path sflash = hu.root() / "sdcard/UpdateXan/SFLASH";
    fs::create_directories(sflash);
    touch(sflash / "LOGO.BMP");

    // Only the last component differs in case; a folder differs and the file is still to come.
    EXPECT_EQ(*ce::hostPath("\\SDMMC Card\\UpdateXan\\SFLASH\\logo.bmp"), sflash / "LOGO.BMP");
    EXPECT_EQ(*ce::hostPath("\\SDMMC Card\\updatexan\\Sflash\\new.bmp"), sflash / "new.bmp");

    // Links are followed on the way; a dangling link is an entry of its own, not a folder.
    fs::create_directory_symlink(hu.root() / "sdcard/UpdateXan", hu.root() / "nand/alias");
    fs::create_symlink(hu.root() / "nowhere", hu.root() / "nand/dangling");
    EXPECT_EQ(*ce::hostPath("\\NAND Flash\\alias\\sflash\\LOGO.BMP"), hu.root() / "nand/alias/SFLASH/LOGO.BMP");
    EXPECT_EQ(*ce::hostPath("\\NAND Flash\\ALIAS\\SFLASH\\logo.bmp"), hu.root() / "nand/alias/SFLASH/LOGO.BMP");
    EXPECT_EQ(*ce::hostPath("\\NAND Flash\\DANGLING"), hu.root() / "nand/dangling");
    EXPECT_EQ(ce::hostPath("\\NAND Flash\\dangling\\x").error(), ce::ERROR_PATH_NOT_FOUND);

    // A file where a folder is needed ends the walk, even when a folder of another case exists.
    touch(hu.root() / "nand/data");
    fs::create_directories(hu.root() / "nand/DATA");
    touch(hu.root() / "nand/DATA/x");
    EXPECT_EQ(ce::hostPath("\\NAND Flash\\data\\x").error(), ce::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(*ce::hostPath("\\NAND Flash\\DATA\\X"), hu.root() / "nand/DATA/x");
    EXPECT_EQ(*ce::hostPath("\\NAND Flash\\Data\\x"), hu.root() / "nand/DATA/x");  // "DATA" < "data"
}

TEST(Paths, NonAsciiNamesFoldCase) {
    sim::TempHeadUnit hu;
    touch(hu.root() / "nand/ПРИВЕТ.txt");
    EXPECT_EQ(*ce::hostPath("\\NAND Flash\\привет.TXT"), hu.root() / "nand/ПРИВЕТ.txt");
    EXPECT_TRUE(ce::pathEquals("\\NAND Flash\\Ärger", "\\nand flash/äRGER"));
    EXPECT_FALSE(ce::pathEquals("\\NAND Flash\\a", "\\NAND Flash\\b"));
}

TEST(Paths, DevicePathOfHostPaths) {
    sim::TempHeadUnit hu;
    fs::create_directories(hu.root() / "sdcard/UpdateXan/ZEK_Update");
    EXPECT_EQ(ce::devicePathOf(hu.root() / "sdcard/UpdateXan/ZEK_Update/ZEK_Update.exe"),
              "\\SDMMC Card\\UpdateXan\\ZEK_Update\\ZEK_Update.exe");
    EXPECT_EQ(ce::devicePathOf(hu.root() / "nand"), "\\NAND Flash");

    // Outside every mount: the "\Host" pseudo mount, which maps back to the same file.
    fs::path outside = fs::weakly_canonical(hu.root() / "run/prog/UpdateXan");
    fs::create_directories(outside.parent_path());
    touch(outside);
    std::string device = ce::devicePathOf(outside);
    EXPECT_EQ(device.rfind("\\Host\\", 0), 0u) << device;
    EXPECT_EQ(*ce::hostPath(device), outside);
    EXPECT_EQ(*ce::hostPath(ce::folderOf(device) + "UPDATEXAN"), outside);

    // The running program is found the same way.
    std::string self = ce::modulePath();
    EXPECT_TRUE(fs::equivalent(*ce::hostPath(self), "/proc/self/exe")) << self;
}

TEST(Paths, FolderAndFileNames) {
    EXPECT_EQ(ce::folderOf("\\A\\B\\x.exe"), "\\A\\B\\");
    EXPECT_EQ(ce::fileNameOf("\\A\\B\\x.exe"), "x.exe");
    EXPECT_EQ(ce::folderOf("x.exe"), "");
    EXPECT_EQ(ce::fileNameOf("x.exe"), "x.exe");
}

TEST(Wildcards, MatchLikeTheDevice) {
    EXPECT_TRUE(ce::wildcardMatch("*.bmp", "A.BMP"));
    EXPECT_TRUE(ce::wildcardMatch("*.*", "README"));
    EXPECT_TRUE(ce::wildcardMatch("*.*", "a.b.c"));
    EXPECT_TRUE(ce::wildcardMatch("*", ".hidden"));
    EXPECT_TRUE(ce::wildcardMatch("nk?.r*m", "NK1.ROM"));
    EXPECT_TRUE(ce::wildcardMatch("log?.bmp", "logЖ.bmp"));  // '?' is one character, not one byte
    EXPECT_TRUE(ce::wildcardMatch("*a*b", "xxaybzab"));
    EXPECT_TRUE(ce::wildcardMatch("*", "*x"));  // a '*' in the pattern is always a wildcard
    EXPECT_FALSE(ce::wildcardMatch("*.bmp", "a.bmp.bak"));
    EXPECT_FALSE(ce::wildcardMatch("nk?.rom", "nk.rom"));
    EXPECT_FALSE(ce::wildcardMatch("*a*b", "xxabx"));
    EXPECT_FALSE(ce::wildcardMatch("README.*", "README2"));
    EXPECT_TRUE(ce::wildcardMatch("README.*", "readme"));
}

}  // namespace
