// Folders held open: entries named relative to them resolve as whole device paths do, and the
// held folder stays the one acted in whatever happens to its path afterwards.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/core/testing/host_files.h"
#include "platform/core/files.h"
#include "platform/core/paths.h"
#include "sim/headunit/headunit.h"

namespace fs = std::filesystem;

namespace {

using ce::testing::readHost;
using ce::testing::writeHost;

class HeldFolders : public ::testing::Test {
protected:
    HeldFolders() {
        fs::create_directories(hu.nand() / "ZEK/IMG");
        writeHost(hu.nand() / "ZEK/Program.exe", "program");
        writeHost(hu.nand() / "ZEK/IMG/A.BMP", "picture");
        writeHost(hu.nand() / "sibling.txt", "sibling");
    }
    sim::TempHeadUnit hu;
};

TEST_F(HeldFolders, EntriesResolveAsWholePathsDo) {
    auto zek = ce::Folder::open("\\nand flash\\zek");
    ASSERT_TRUE(zek.ok());
    auto listed = zek->list(ce::FindDetail::Full);
    ASSERT_TRUE(listed.ok());
    ASSERT_EQ(listed->size(), 2u);
    EXPECT_EQ((*listed)[0].name, "IMG");
    EXPECT_EQ((*listed)[0].attributes, ce::FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ((*listed)[1].name, "Program.exe");
    EXPECT_EQ((*listed)[1].size, 7u);

    auto picture = zek->openFile("img\\a.bmp", ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING);
    ASSERT_TRUE(picture.ok());
    EXPECT_EQ(*(*picture)->size(), 7u);
    EXPECT_EQ(zek->openFile("IMG\\missing.bmp", ce::GENERIC_READ, 0, ce::OPEN_EXISTING).error(), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(zek->openFile("NOPE\\a.bmp", ce::GENERIC_READ, 0, ce::OPEN_EXISTING).error(), ce::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(zek->openFile("..\\sibling.txt", ce::GENERIC_READ, 0, ce::OPEN_EXISTING).error(), ce::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(zek->openFile("IMG\\..\\program.EXE", ce::GENERIC_READ, 0, ce::OPEN_EXISTING).error(), ce::ERROR_SUCCESS);

    // The attributes and share modes of the layer hold as they do for whole paths.
    ASSERT_EQ(zek->setFileAttributes("PROGRAM.EXE", ce::FILE_ATTRIBUTE_READONLY), ce::ERROR_SUCCESS);
    EXPECT_EQ(zek->deleteFile("program.exe"), ce::ERROR_ACCESS_DENIED);
    EXPECT_EQ(*ce::getFileAttributes("\\NAND Flash\\ZEK\\Program.exe"), ce::FILE_ATTRIBUTE_READONLY);
    ASSERT_EQ(zek->setFileAttributes("program.exe", ce::FILE_ATTRIBUTE_NORMAL), ce::ERROR_SUCCESS);
    {
        auto held = ce::File::open("\\NAND Flash\\ZEK\\Program.exe", ce::GENERIC_READ, 0, ce::OPEN_EXISTING);
        ASSERT_TRUE(held.ok());
        EXPECT_EQ(zek->deleteFile("Program.exe"), ce::ERROR_SHARING_VIOLATION);
    }
    EXPECT_EQ(zek->deleteFile("IMG"), ce::ERROR_ACCESS_DENIED);
    EXPECT_EQ(zek->deleteFile("Program.exe"), ce::ERROR_SUCCESS);
    EXPECT_EQ(zek->deleteFile("Program.exe"), ce::ERROR_FILE_NOT_FOUND);

    // An empty folder lists as empty; a file or a link names no folder.
    ASSERT_EQ(ce::createDirectory("\\NAND Flash\\ZEK\\Empty"), ce::ERROR_SUCCESS);
    auto empty = zek->openFolder("empty");
    ASSERT_TRUE(empty.ok());
    EXPECT_TRUE(empty->list(ce::FindDetail::NamesAndSizes)->empty());
    fs::create_directory_symlink(hu.nand() / "ZEK/IMG", hu.nand() / "ZEK/linked");
    EXPECT_EQ(zek->openFolder("linked").error(), ce::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ce::Folder::open("\\NAND Flash\\sibling.txt").error(), ce::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ce::Folder::open("\\NAND Flash\\ZEK\\linked").error(), ce::ERROR_PATH_NOT_FOUND);
}

TEST_F(HeldFolders, CopiesBetweenHeldFoldersKeepTheCopyRules) {
    auto from = ce::Folder::open("\\NAND Flash\\ZEK\\IMG");
    auto to = ce::Folder::open("\\NAND Flash\\ZEK");
    ASSERT_TRUE(from.ok() && to.ok());
    uint64_t reported = 0;
    auto progress = [&](const ce::CopyProgressInfo& info) {
        reported = info.totalBytesTransferred;
        return ce::PROGRESS_CONTINUE;
    };
    EXPECT_EQ(from->copyFileTo("a.bmp", *to, "copy.bmp", progress, nullptr, 0), ce::ERROR_SUCCESS);
    EXPECT_EQ(reported, 7u);
    EXPECT_EQ(readHost(hu.nand() / "ZEK/copy.bmp"), "picture");
    EXPECT_EQ(from->copyFileTo("a.bmp", *to, "COPY.BMP", {}, nullptr, ce::COPY_FILE_FAIL_IF_EXISTS), ce::ERROR_FILE_EXISTS);
    EXPECT_EQ(from->copyFileTo("missing", *to, "x", {}, nullptr, 0), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs::exists(hu.nand() / "ZEK/x"));
    fs::create_symlink(hu.nand() / "sibling.txt", hu.nand() / "ZEK/link.txt");
    EXPECT_EQ(from->copyFileTo("a.bmp", *to, "link.txt", {}, nullptr, 0), ce::ERROR_CANT_ACCESS_FILE);
    EXPECT_EQ(readHost(hu.nand() / "sibling.txt"), "sibling");
}

TEST_F(HeldFolders, AHeldFolderStaysTheOneActedInWhateverHappensToItsPath) {
    fs::create_directories(hu.root() / "outside");
    writeHost(hu.root() / "outside/A.BMP", "precious");
    auto img = ce::Folder::open("\\NAND Flash\\ZEK\\IMG");
    ASSERT_TRUE(img.ok());
    // Its path now leads through a link to a folder outside the volume.
    fs::rename(hu.nand() / "ZEK/IMG", hu.nand() / "ZEK/IMG.old");
    fs::create_directory_symlink(hu.root() / "outside", hu.nand() / "ZEK/IMG");
    EXPECT_EQ(img->deleteFile("A.BMP"), ce::ERROR_SUCCESS);
    EXPECT_FALSE(fs::exists(hu.nand() / "ZEK/IMG.old/A.BMP"));
    EXPECT_EQ(readHost(hu.root() / "outside/A.BMP"), "precious");
    EXPECT_EQ(ce::deleteFile("\\NAND Flash\\ZEK\\IMG\\A.BMP"), ce::ERROR_PATH_NOT_FOUND);
}

// Every call closes what it opened, whether it succeeds or fails, held folders included.
TEST_F(HeldFolders, NoCallLeavesADescriptorOpen) {
    auto open = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); };
    const auto before = open();
    for (int i = 0; i < 20; ++i) {
        auto zek = ce::Folder::open("\\NAND Flash\\zek");
        ASSERT_TRUE(zek.ok());
        auto img = zek->openFolder("Img");
        ASSERT_TRUE(img.ok());
        img->copyFileTo("a.bmp", *zek, "copy.bmp", {}, nullptr, 0);
        img->copyFileTo("missing", *zek, "x", {}, nullptr, 0);
        zek->list(ce::FindDetail::Full);
        zek->deleteFile("COPY.BMP");
        zek->deleteFile("IMG");
        zek->openFile("nope\\x", ce::GENERIC_READ, 0, ce::OPEN_EXISTING);
        ce::copyFile("\\NAND Flash\\ZEK\\Program.exe", "\\NAND Flash\\ZEK\\new\\x", false);
        ce::createDirectory("\\NAND Flash\\ZEK\\Sub");
        ce::removeDirectory("\\NAND Flash\\zek\\sub");
        ce::moveFileEx("\\NAND Flash\\ZEK\\Program.exe", "\\NAND Flash\\ZEK\\p.exe", 0);
        ce::moveFileEx("\\NAND Flash\\ZEK\\p.exe", "\\NAND Flash\\ZEK\\Program.exe", 0);
        ce::findFiles("\\NAND Flash\\ZEK\\*");
        ce::getFileAttributes("\\NAND Flash");
        ce::Folder::open("\\NAND Flash\\sibling.txt");
    }
    EXPECT_EQ(open(), before);
}

}  // namespace
