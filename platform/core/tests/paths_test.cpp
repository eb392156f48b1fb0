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

// The host path of a device path, or the error as text, so a failed resolution shows which.
std::string resolved(std::string_view devicePath) {
    auto host = ce::hostPath(devicePath);
    return host ? host->string() : "error " + std::to_string(host.error());
}

TEST(Paths, ResolvesMountsWithoutRegardToCase) {
    sim::TempHeadUnit hu;
    fs::create_directories(hu.root() / "sdcard/UpdateXan/SFLASH");
    touch(hu.root() / "sdcard/UpdateXan/SFLASH/LOGO.BMP");

    auto p = ce::hostPath("\\sdmmc card\\updatexan\\sflash\\logo.bmp");
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(*p, hu.root() / "sdcard/UpdateXan/SFLASH/LOGO.BMP");

    // A missing last component keeps the caller's spelling (a file about to be created).
    EXPECT_EQ(resolved("\\SDMMC Card\\UpdateXan\\new.txt"), (hu.root() / "sdcard/UpdateXan/new.txt").string());
    // Relative paths start at the root; "." and ".." apply below the volume's root.
    EXPECT_EQ(resolved("NAND Flash\\a.txt"), (hu.root() / "nand/a.txt").string());
    EXPECT_EQ(resolved("\\..\\SDMMC Card\\.\\UpdateXan\\SFLASH\\..\\x"), (hu.root() / "sdcard/UpdateXan/x").string());
}

TEST(Paths, DotDotNeverClimbsOutOfItsVolume) {
    sim::TempHeadUnit hu;
    fs::create_directories(hu.root() / "sdcard/UpdateXan");
    // Out of one volume into another, into the head unit's own folders, onto the host.
    for (const char* path : {"\\NAND Flash\\..\\SDMMC Card\\UpdateXan", "\\NAND Flash\\..\\..\\SDMMC Card",
                             "\\SDMMC Card\\UpdateXan\\..\\..\\run", "\\NAND Flash\\ZEK\\..\\..\\..\\Host\\etc",
                             "\\SDMMC Card\\UpdateXan\\..\\..\\..\\..\\..\\..\\..\\..\\etc\\passwd"}) {
        EXPECT_EQ(ce::hostPath(path).error(), ce::ERROR_PATH_NOT_FOUND) << path;
        EXPECT_FALSE(ce::placeOf(path).ok()) << path;
    }
    auto place = ce::placeOf("\\sdmmc card\\A\\.\\b\\..\\C");
    ASSERT_TRUE(place.ok());
    EXPECT_EQ(place->volume, "\\SDMMC Card");
    EXPECT_EQ(place->below, (std::vector<std::string>{"A", "C"}));
    EXPECT_TRUE(ce::placeWithin(*place, *ce::placeOf("\\SDMMC CARD\\a")));
    EXPECT_FALSE(ce::placeWithin(*ce::placeOf("\\SDMMC Card\\a"), *place));
    EXPECT_FALSE(ce::placeWithin(*ce::placeOf("\\NAND Flash\\A\\C"), *place));
    EXPECT_FALSE(ce::placeOf("\\").ok());
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
    EXPECT_EQ(resolved("\\NAND Flash\\ABC"), (hu.root() / "nand/ABC").string());
    EXPECT_EQ(resolved("\\NAND Flash\\abc"), (hu.root() / "nand/abc").string());
    EXPECT_EQ(resolved("\\NAND Flash\\Abc"), (hu.root() / "nand/ABC").string());  // first in name order
}

TEST(Paths, CaseVariantsLinksAndFilesOnTheWay) {
    sim::TempHeadUnit hu;
    const fs::path sflash = hu.root() / "sdcard/UpdateXan/SFLASH";
    fs::create_directories(sflash);
    touch(sflash / "LOGO.BMP");

    // Only the last component differs in case; a folder differs and the file is still to come.
    EXPECT_EQ(resolved("\\SDMMC Card\\UpdateXan\\SFLASH\\logo.bmp"), (sflash / "LOGO.BMP").string());
    EXPECT_EQ(resolved("\\SDMMC Card\\updatexan\\Sflash\\new.bmp"), (sflash / "new.bmp").string());

    // A link is an entry of its own, never a folder to walk through, whether or not it
    // points anywhere and whatever the spelling.
    fs::create_directory_symlink(hu.root() / "sdcard/UpdateXan", hu.root() / "nand/alias");
    fs::create_symlink(hu.root() / "nowhere", hu.root() / "nand/dangling");
    EXPECT_EQ(resolved("\\NAND Flash\\alias"), (hu.root() / "nand/alias").string());
    EXPECT_EQ(ce::hostPath("\\NAND Flash\\alias\\sflash\\LOGO.BMP").error(), ce::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ce::hostPath("\\NAND Flash\\ALIAS\\SFLASH\\logo.bmp").error(), ce::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ce::hostPath("\\NAND Flash\\alias\\SFLASH").error(), ce::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ce::hostPath("\\NAND Flash\\alias\\new.txt").error(), ce::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(resolved("\\NAND Flash\\DANGLING"), (hu.root() / "nand/dangling").string());
    EXPECT_EQ(ce::hostPath("\\NAND Flash\\dangling\\x").error(), ce::ERROR_PATH_NOT_FOUND);

    // A file where a folder is needed ends the walk, even when a folder of another case exists.
    touch(hu.root() / "nand/data");
    fs::create_directories(hu.root() / "nand/DATA");
    touch(hu.root() / "nand/DATA/x");
    EXPECT_EQ(ce::hostPath("\\NAND Flash\\data\\x").error(), ce::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(resolved("\\NAND Flash\\DATA\\X"), (hu.root() / "nand/DATA/x").string());
    EXPECT_EQ(resolved("\\NAND Flash\\Data\\x"), (hu.root() / "nand/DATA/x").string());  // "DATA" < "data"

    // A volume's own folder may be a link: it is the head unit's.
    fs::rename(hu.root() / "nand", hu.root() / "nand.real");
    fs::create_directory_symlink(hu.root() / "nand.real", hu.root() / "nand");
    EXPECT_EQ(resolved("\\NAND Flash\\DATA\\x"), (hu.root() / "nand/DATA/x").string());
}

TEST(Paths, NonAsciiNamesFoldCase) {
    sim::TempHeadUnit hu;
    touch(hu.root() / "nand/ПРИВЕТ.txt");
    EXPECT_EQ(resolved("\\NAND Flash\\привет.TXT"), (hu.root() / "nand/ПРИВЕТ.txt").string());
    EXPECT_TRUE(ce::pathEquals("\\NAND Flash\\Ärger", "\\nand flash/äRGER"));
    EXPECT_FALSE(ce::pathEquals("\\NAND Flash\\a", "\\NAND Flash\\b"));
}

TEST(Paths, DevicePathOfHostPaths) {
    sim::TempHeadUnit hu;
    fs::create_directories(hu.root() / "sdcard/UpdateXan/ZEK_Update");
    EXPECT_EQ(ce::devicePathOf(hu.root() / "sdcard/UpdateXan/ZEK_Update/ZEK_Update.exe"),
              "\\SDMMC Card\\UpdateXan\\ZEK_Update\\ZEK_Update.exe");
    EXPECT_EQ(ce::devicePathOf(hu.root() / "nand"), "\\NAND Flash");

    // Outside every mount: the "\Host" pseudo mount, which maps back only for a file a tool
    // admitted, not for its neighbours.
    fs::path outside = fs::weakly_canonical(hu.root() / "run/prog/UpdateXan");
    fs::create_directories(outside.parent_path());
    touch(outside);
    touch(outside.parent_path() / "neighbour");
    std::string device = ce::devicePathOf(outside);
    EXPECT_EQ(device.rfind("\\Host\\", 0), 0u) << device;
    EXPECT_EQ(ce::hostPath(device).error(), ce::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ce::admitHostFile(outside), device);
    EXPECT_EQ(resolved(device), outside.string());
    EXPECT_EQ(ce::hostPath(ce::folderOf(device) + "neighbour").error(), ce::ERROR_PATH_NOT_FOUND);

    // The running program and the files beside it are found the same way, in any case.
    std::string self = ce::modulePath();
    EXPECT_EQ(resolved(self), fs::read_symlink("/proc/self/exe").string()) << self;
    const fs::path besideSelf = fs::read_symlink("/proc/self/exe").parent_path() / "paths_test_beside.ini";
    touch(besideSelf);
    EXPECT_EQ(resolved(ce::folderOf(self) + "PATHS_TEST_BESIDE.INI"), besideSelf.string());
    fs::remove(besideSelf);
}

TEST(Paths, TheHostIsReachedOnlyInsideTheProgramsFolder) {
    sim::TempHeadUnit hu;
    const std::string self = ce::modulePath();
    ASSERT_EQ(self.rfind("\\Host\\", 0), 0u) << "the test runs from a build folder";
    for (const std::string& path : {std::string("\\Host\\etc\\passwd"), std::string("\\host\\tmp"),
                                    std::string("\\Host"), ce::folderOf(self) + "..\\..\\..\\etc\\passwd",
                                    ce::folderOf(self) + "..\\x"}) {
        EXPECT_EQ(ce::hostPath(path).error(), ce::ERROR_PATH_NOT_FOUND) << path;
    }
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
