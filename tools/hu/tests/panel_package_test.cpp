// The panel package's checksum list names its files as the installer reads them: 8-bit text in
// the head unit's ANSI code page. A name the code page cannot hold, or one with the list's
// separator ':', is refused with a line that names it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "sim/headunit/headunit.h"
#include "tools/hu/panel_package.h"

namespace hu {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(PanelPackage, ListNamesAreInTheCodePage) {
    EXPECT_EQ(checksumListName("Kelo_ZEK_IMG\\a.bmp", 949), "Kelo_ZEK_IMG\\a.bmp");
    EXPECT_EQ(checksumListName("테스트.bmp", 949), "\xC5\xD7\xBD\xBA\xC6\xAE.bmp");  // CP949 bytes
    EXPECT_EQ(checksumListName("Дорога.bmp", 1251), "\xC4\xEE\xF0\xEE\xE3\xE0.bmp");
    EXPECT_THROW(checksumListName("테스트.bmp", 1252), std::runtime_error);
    EXPECT_THROW(checksumListName("Ґанок.bmp", 949), std::runtime_error);
    EXPECT_THROW(checksumListName("c:d.bmp", 949), std::runtime_error);
    try {
        checksumListName("테스트.bmp", 1251);
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "the file name \"테스트.bmp\" cannot be written in the head unit's code page 1251");
    }
}

TEST(PanelPackage, WritesTheListInTheHeadUnitsCodePage) {
    sim::TempHeadUnit unit;
    const fs::path given = unit.root() / "given";
    fs::create_directories(given / "Kelo_ZEK_IMG");
    std::ofstream(given / "Kelo_ZEK_IMG" / "길.bmp") << "road";
    std::ofstream(given / "Kelo_ZEK.exe") << "";
    PanelPackageOptions options;
    options.installerProgram = given / "Kelo_ZEK.exe";  // any file serves as the installer here
    options.panelFiles = {given / "Kelo_ZEK.exe", given / "Kelo_ZEK_IMG"};
    const PanelPackage package = buildPanelPackage(unit.root(), options);
    EXPECT_EQ(package.files, 2);
    const std::string list = Read(package.folder / "ZEK.crc");
    EXPECT_NE(list.find("Kelo_ZEK.exe:00000000\r\n"), std::string::npos) << list;
    EXPECT_NE(list.find("Kelo_ZEK_IMG\\\xB1\xE6.bmp:"), std::string::npos) << list;  // 길 in CP949
}

TEST(PanelPackage, RefusesANameTheCodePageCannotHold) {
    sim::HeadUnitOptions options;
    options.ansiCodePage = 1252;
    sim::TempHeadUnit unit(options);
    const fs::path given = unit.root() / "given";
    fs::create_directories(given);
    std::ofstream(given / "길.bmp") << "road";
    PanelPackageOptions panel;
    panel.installerProgram = given / "길.bmp";
    panel.panelFiles = {given / "길.bmp"};
    try {
        buildPanelPackage(unit.root(), panel);
        FAIL() << "accepted a name code page 1252 cannot hold";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "the file name \"길.bmp\" cannot be written in the head unit's code page 1252");
    }
}

}  // namespace
}  // namespace hu
