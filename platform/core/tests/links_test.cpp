// Symbolic links and special files inside the head unit's volumes: a link is an entry of its
// own that no operation follows, and a FIFO or device where a file is expected fails at once.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "platform/core/testing/host_files.h"
#include "platform/core/files.h"
#include "platform/core/paths.h"
#include "sim/headunit/headunit.h"

namespace fs = std::filesystem;

namespace {

using ce::testing::readHost;
using ce::testing::writeHost;

// A head unit with something precious outside its volumes, and links to it inside them.
class Links : public ::testing::Test {
protected:
    Links() {
        fs::create_directories(outside());
        writeHost(outside() / "secret.txt", "precious");
        fs::create_symlink(outside() / "secret.txt", hu.nand() / "file.lnk");
        fs::create_directory_symlink(outside(), hu.nand() / "folder.lnk");
    }
    fs::path outside() const { return hu.root() / "outside"; }

    sim::TempHeadUnit hu;
};

TEST_F(Links, SearchesReportALinkAsItselfNeverAsWhatItPointsTo) {
    auto all = ce::findFiles("\\NAND Flash\\*");
    ASSERT_TRUE(all.ok());
    for (const auto& entry : *all) {
        if (entry.name != "file.lnk" && entry.name != "folder.lnk") continue;
        EXPECT_EQ(entry.attributes, ce::FILE_ATTRIBUTE_REPARSE_POINT) << entry.name;
        EXPECT_EQ(entry.size, 0u) << entry.name;
    }
    EXPECT_EQ(*ce::getFileAttributes("\\NAND Flash\\folder.lnk"), ce::FILE_ATTRIBUTE_REPARSE_POINT);
    auto exact = ce::findFiles("\\NAND Flash\\FILE.LNK");
    ASSERT_TRUE(exact.ok());
    EXPECT_EQ(exact->front().attributes, ce::FILE_ATTRIBUTE_REPARSE_POINT);

    // Nothing is listed or found through a linked folder.
    EXPECT_EQ(ce::findFiles("\\NAND Flash\\folder.lnk\\*").error(), ce::ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(ce::pathExists("\\NAND Flash\\folder.lnk\\secret.txt"));
}

TEST_F(Links, DeletingRemovesTheLinkAndLeavesItsTarget) {
    EXPECT_EQ(ce::removeDirectory("\\NAND Flash\\folder.lnk"), ce::ERROR_DIRECTORY);
    EXPECT_EQ(ce::deleteFile("\\NAND Flash\\folder.lnk"), ce::ERROR_SUCCESS);
    EXPECT_EQ(ce::deleteFile("\\NAND Flash\\file.lnk"), ce::ERROR_SUCCESS);
    EXPECT_FALSE(fs::exists(fs::symlink_status(hu.nand() / "folder.lnk")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(hu.nand() / "file.lnk")));
    EXPECT_EQ(readHost(outside() / "secret.txt"), "precious");
    EXPECT_EQ(ce::deleteFile("\\NAND Flash\\folder.lnk\\secret.txt"), ce::ERROR_PATH_NOT_FOUND);
}

TEST_F(Links, NoFileIsOpenedCreatedOrTruncatedThroughALink) {
    for (uint32_t disposition : {ce::CREATE_ALWAYS, ce::OPEN_ALWAYS, ce::TRUNCATE_EXISTING, ce::OPEN_EXISTING}) {
        auto file = ce::File::open("\\NAND Flash\\file.lnk", ce::GENERIC_READ | ce::GENERIC_WRITE, 0, disposition);
        EXPECT_EQ(file.error(), ce::ERROR_CANT_ACCESS_FILE) << disposition;
    }
    EXPECT_EQ(ce::File::open("\\NAND Flash\\file.lnk", ce::GENERIC_WRITE, 0, ce::CREATE_NEW).error(), ce::ERROR_FILE_EXISTS);
    EXPECT_EQ(ce::File::open("\\NAND Flash\\folder.lnk\\new.txt", ce::GENERIC_WRITE, 0, ce::CREATE_ALWAYS).error(),
              ce::ERROR_PATH_NOT_FOUND);
    writeHost(hu.sdcard() / "source.bin", "new bytes");
    EXPECT_EQ(ce::copyFile("\\SDMMC Card\\source.bin", "\\NAND Flash\\file.lnk", false), ce::ERROR_CANT_ACCESS_FILE);
    EXPECT_EQ(ce::copyFile("\\SDMMC Card\\source.bin", "\\NAND Flash\\folder.lnk\\secret.txt", false),
              ce::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ce::copyFile("\\NAND Flash\\file.lnk", "\\SDMMC Card\\copy.bin", false), ce::ERROR_CANT_ACCESS_FILE);
    EXPECT_FALSE(fs::exists(hu.sdcard() / "copy.bin"));
    EXPECT_EQ(ce::createDirectory("\\NAND Flash\\folder.lnk\\sub"), ce::ERROR_PATH_NOT_FOUND);
    EXPECT_NE(ce::setFileAttributes("\\NAND Flash\\file.lnk", ce::FILE_ATTRIBUTE_READONLY), ce::ERROR_SUCCESS);

    EXPECT_EQ(readHost(outside() / "secret.txt"), "precious");
    EXPECT_EQ(fs::directory_entry(outside()).is_directory(), true);
    EXPECT_EQ(std::distance(fs::directory_iterator(outside()), fs::directory_iterator()), 1);
    EXPECT_EQ(*ce::getFileAttributes(ce::admitHostFile(outside() / "secret.txt")), ce::FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Links, AFifoOrDeviceWhereAFileIsExpectedFailsAtOnce) {
    ASSERT_EQ(::mkfifo((hu.nand() / "pipe").c_str(), 0666), 0);
    // Run where a blocked open could not hang the test binary for good: a writer unblocks it.
    auto outcome = std::async(std::launch::async, [] {
        std::vector<ce::Error> errors;
        errors.push_back(ce::File::open("\\NAND Flash\\pipe", ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING).error());
        errors.push_back(ce::File::open("\\NAND Flash\\pipe", ce::GENERIC_WRITE, 0, ce::CREATE_ALWAYS).error());
        errors.push_back(ce::copyFile("\\NAND Flash\\pipe", "\\NAND Flash\\copy", false));
        errors.push_back(ce::TextReader::open("\\NAND Flash\\pipe", ce::TextReader::Text).error());
        return errors;
    });
    bool blocked = false;
    while (outcome.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        // Both ends held open for a moment release whatever open or read waits on the FIFO.
        blocked = true;
        const int fd = ::open((hu.nand() / "pipe").c_str(), O_RDWR | O_NONBLOCK);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ::close(fd);
    }
    EXPECT_FALSE(blocked) << "an open of a FIFO blocked";
    for (ce::Error e : outcome.get()) EXPECT_EQ(e, ce::ERROR_CANT_ACCESS_FILE);

    // A device node, where the host lets this process make one.
    if (::mknod((hu.nand() / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
        EXPECT_EQ(ce::File::open("\\NAND Flash\\null", ce::GENERIC_WRITE, 0, ce::OPEN_EXISTING).error(),
                  ce::ERROR_CANT_ACCESS_FILE);
    }
}

// Someone who can write in a volume swaps a folder that resolution has just checked for a link
// to a folder outside, over and over (an atomic exchange, so both names always exist). Every
// operation acts relative to the folder it checked: none may ever reach the outside folder.
TEST_F(Links, AFolderSwappedForALinkBetweenCheckAndUseNeverSendsAnOperationOutside) {
    fs::create_directories(hu.nand() / "box");
    writeHost(hu.nand() / "box" / "secret.txt", "inside");
    writeHost(hu.sdcard() / "source.bin", "copied bytes");
    fs::create_directory_symlink(outside(), hu.nand() / "box.lnk");
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        const std::string a = (hu.nand() / "box").string(), b = (hu.nand() / "box.lnk").string();
        while (!stop) ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE);
    });

    int listedOutside = 0;
    for (int i = 0; i < 5000; ++i) {
        if (auto file = ce::File::open("\\NAND Flash\\box\\secret.txt", ce::GENERIC_WRITE, 0, ce::CREATE_ALWAYS)) {
            (*file)->write("overwritten", 11, nullptr);
        }
        ce::deleteFile("\\NAND Flash\\box\\secret.txt");
        ce::copyFile("\\SDMMC Card\\source.bin", "\\NAND Flash\\box\\secret.txt", false);
        ce::setFileAttributes("\\NAND Flash\\box\\secret.txt", ce::FILE_ATTRIBUTE_HIDDEN);
        ce::moveFileEx("\\NAND Flash\\box\\secret.txt", "\\NAND Flash\\box\\moved.txt", ce::MOVEFILE_REPLACE_EXISTING);
        ce::moveFileEx("\\NAND Flash\\box\\moved.txt", "\\NAND Flash\\box\\secret.txt", ce::MOVEFILE_REPLACE_EXISTING);
        // Another spelling of the folder takes the walk one component at a time (as on a host
        // without openat2): it holds the same way.
        ce::createDirectory("\\NAND Flash\\BOX\\sub");
        ce::removeDirectory("\\NAND Flash\\BOX\\sub");
        ce::deleteFile("\\NAND Flash\\Box\\Secret.txt");
        if (auto found = ce::findFiles("\\NAND Flash\\box\\*"))
            for (const auto& entry : *found) listedOutside += entry.size == 8;  // "precious"
    }
    stop = true;
    swapper.join();

    EXPECT_EQ(listedOutside, 0) << "a search listed the outside folder";
    EXPECT_EQ(readHost(outside() / "secret.txt"), "precious");
    EXPECT_EQ(std::distance(fs::directory_iterator(outside()), fs::directory_iterator()), 1);
    EXPECT_EQ(*ce::getFileAttributes(ce::admitHostFile(outside() / "secret.txt")), ce::FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
