// Files and folders as the programs rely on them: attributes kept by the layer, share modes
// across processes, directory search, copies with progress, fgets-like line reading.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

// Runs fn in a child process and returns its result (the child's exit code).
int inChild(const std::function<int()>& fn) {
    pid_t pid = fork();
    if (pid == 0) _exit(fn());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Files : public ::testing::Test {
protected:
    sim::TempHeadUnit hu;
};

TEST_F(Files, ReadOnlyRefusesDeleteAndWritingUntilCleared) {
    writeHost(hu.nand() / "a.txt", "data");
    ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\a.txt", ce::FILE_ATTRIBUTE_READONLY), ce::ERROR_SUCCESS);
    EXPECT_EQ(*ce::getFileAttributes("\\NAND Flash\\A.TXT"), ce::FILE_ATTRIBUTE_READONLY);

    EXPECT_EQ(ce::deleteFile("\\NAND Flash\\a.txt"), ce::ERROR_ACCESS_DENIED);
    EXPECT_EQ(ce::File::open("\\NAND Flash\\a.txt", ce::GENERIC_WRITE, 0, ce::OPEN_EXISTING).error(), ce::ERROR_ACCESS_DENIED);
    EXPECT_EQ(ce::File::open("\\NAND Flash\\a.txt", ce::GENERIC_READ, 0, ce::CREATE_ALWAYS).error(), ce::ERROR_ACCESS_DENIED);
    EXPECT_EQ(readHost(hu.nand() / "a.txt"), "data");
    EXPECT_TRUE(ce::File::open("\\NAND Flash\\a.txt", ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING).ok());

    // Another process sees the same attribute: it lives on the file, not in this process.
    EXPECT_EQ(inChild([] { return static_cast<int>(ce::deleteFile("\\NAND Flash\\a.txt")); }),
              static_cast<int>(ce::ERROR_ACCESS_DENIED));

    ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\a.txt", ce::FILE_ATTRIBUTE_NORMAL), ce::ERROR_SUCCESS);
    EXPECT_EQ(*ce::getFileAttributes("\\NAND Flash\\a.txt"), ce::FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ce::deleteFile("\\NAND Flash\\a.txt"), ce::ERROR_SUCCESS);
    EXPECT_FALSE(fs::exists(hu.nand() / "a.txt"));
    EXPECT_EQ(ce::deleteFile("\\NAND Flash\\a.txt"), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ce::deleteFile("\\NAND Flash\\none\\a.txt"), ce::ERROR_PATH_NOT_FOUND);
}

TEST_F(Files, FoldersAndHiddenEntriesKeepTheirAttributes) {
    fs::create_directories(hu.nand() / "ZEK/sub");
    writeHost(hu.nand() / "ZEK/secret.dat", "x");
    ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\ZEK\\secret.dat", ce::FILE_ATTRIBUTE_HIDDEN | ce::FILE_ATTRIBUTE_DIRECTORY),
              ce::ERROR_SUCCESS);
    ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\ZEK\\sub", ce::FILE_ATTRIBUTE_HIDDEN), ce::ERROR_SUCCESS);

    auto found = ce::findFiles("\\NAND Flash\\ZEK\\*");
    ASSERT_TRUE(found.ok());
    ASSERT_EQ(found->size(), 2u);
    EXPECT_EQ((*found)[0].name, "secret.dat");
    EXPECT_EQ((*found)[0].attributes, ce::FILE_ATTRIBUTE_HIDDEN);  // the directory bit comes from the host only
    EXPECT_EQ((*found)[0].size, 1u);
    EXPECT_EQ((*found)[1].name, "sub");
    EXPECT_EQ((*found)[1].attributes, ce::FILE_ATTRIBUTE_HIDDEN | ce::FILE_ATTRIBUTE_DIRECTORY);

    // A search for names and sizes alone leaves the stored attributes unread.
    auto plain = ce::findFiles("\\NAND Flash\\ZEK\\*", ce::FindDetail::NamesAndSizes);
    ASSERT_TRUE(plain.ok());
    ASSERT_EQ(plain->size(), 2u);
    EXPECT_EQ((*plain)[0].name, "secret.dat");
    EXPECT_EQ((*plain)[0].attributes, ce::FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ((*plain)[0].size, 1u);
    EXPECT_EQ((*plain)[1].attributes, ce::FILE_ATTRIBUTE_DIRECTORY);

    // A read-only folder refuses removal like a read-only file refuses deletion.
    ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\ZEK\\sub", ce::FILE_ATTRIBUTE_READONLY), ce::ERROR_SUCCESS);
    EXPECT_EQ(ce::removeDirectory("\\NAND Flash\\ZEK\\sub"), ce::ERROR_ACCESS_DENIED);
    EXPECT_EQ(ce::getFileAttributes("\\NAND Flash\\ZEK\\nothing").error(), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ce::setFileAttributes("\\NAND Flash\\nothing\\x", 0), ce::ERROR_PATH_NOT_FOUND);
}

TEST_F(Files, ExclusiveOpenRefusesOtherOpensAndDeletionAcrossProcesses) {
    writeHost(hu.nand() / "image.bin", "0123456789");
    auto held = ce::File::open("\\NAND Flash\\image.bin", ce::GENERIC_READ, 0, ce::OPEN_EXISTING);
    ASSERT_TRUE(held.ok());

    // In this process, through another handle.
    EXPECT_EQ(ce::File::open("\\NAND Flash\\image.bin", ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING).error(),
              ce::ERROR_SHARING_VIOLATION);
    EXPECT_EQ(ce::deleteFile("\\NAND Flash\\image.bin"), ce::ERROR_SHARING_VIOLATION);
    // A refused CREATE_ALWAYS leaves the held file as it was.
    EXPECT_EQ(ce::File::open("\\NAND Flash\\image.bin", ce::GENERIC_WRITE, ce::FILE_SHARE_READ, ce::CREATE_ALWAYS).error(),
              ce::ERROR_SHARING_VIOLATION);
    EXPECT_EQ(readHost(hu.nand() / "image.bin"), "0123456789");

    // In another process.
    auto childOpen = [] {
        return static_cast<int>(
            ce::File::open("\\NAND Flash\\image.bin", ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING).error());
    };
    EXPECT_EQ(inChild(childOpen), static_cast<int>(ce::ERROR_SHARING_VIOLATION));
    EXPECT_EQ(inChild([] { return static_cast<int>(ce::deleteFile("\\NAND Flash\\image.bin")); }),
              static_cast<int>(ce::ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(fs::exists(hu.nand() / "image.bin"));

    held.value().reset();
    EXPECT_EQ(inChild(childOpen), 0);

    // Shared handles coexist, and an exclusive open waits until they are all gone.
    auto a = ce::File::open("\\NAND Flash\\image.bin", ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING);
    auto b = ce::File::open("\\NAND Flash\\image.bin", ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING);
    ASSERT_TRUE(a.ok() && b.ok());
    EXPECT_EQ(ce::File::open("\\NAND Flash\\image.bin", ce::GENERIC_READ, 0, ce::OPEN_EXISTING).error(),
              ce::ERROR_SHARING_VIOLATION);
    EXPECT_EQ(ce::deleteFile("\\NAND Flash\\image.bin"), ce::ERROR_SUCCESS);  // only exclusive handles refuse deletion
}

TEST_F(Files, HandlesFollowTheirDispositionAndAccess) {
    const char* path = "\\SDMMC Card\\f.bin";
    EXPECT_EQ(ce::File::open(path, ce::GENERIC_READ, 1, ce::OPEN_EXISTING).error(), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ce::File::open("\\SDMMC Card\\no\\f.bin", ce::GENERIC_WRITE, 0, ce::CREATE_ALWAYS).error(),
              ce::ERROR_PATH_NOT_FOUND);
    {
        auto f = ce::File::open(path, ce::GENERIC_READ | ce::GENERIC_WRITE, 0, ce::CREATE_NEW);
        ASSERT_TRUE(f.ok());
        uint32_t n = 0;
        ASSERT_EQ((*f)->write("hello world", 11, &n), ce::ERROR_SUCCESS);
        EXPECT_EQ(n, 11u);
        EXPECT_EQ(*(*f)->seek(-5, ce::FILE_END), 6u);
        char buf[16] = {};
        ASSERT_EQ((*f)->read(buf, sizeof buf, &n), ce::ERROR_SUCCESS);
        EXPECT_EQ(std::string(buf, n), "world");
        EXPECT_EQ(*(*f)->size(), 11u);
        EXPECT_EQ((*f)->seek(-1, ce::FILE_BEGIN).error(), ce::ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(ce::File::open(path, ce::GENERIC_WRITE, 0, ce::CREATE_NEW).error(), ce::ERROR_FILE_EXISTS);
    {
        auto f = ce::File::open(path, ce::GENERIC_READ, 1, ce::OPEN_EXISTING);
        uint32_t n = 99;
        EXPECT_EQ((*f)->write("x", 1, &n), ce::ERROR_ACCESS_DENIED);
        EXPECT_EQ(n, 0u);
    }
    ASSERT_TRUE(ce::File::open(path, ce::GENERIC_WRITE, 0, ce::TRUNCATE_EXISTING).ok());
    EXPECT_EQ(fs::file_size(hu.sdcard() / "f.bin"), 0u);
    EXPECT_EQ(ce::File::open("\\SDMMC Card", ce::GENERIC_READ, 1, ce::OPEN_EXISTING).error(), ce::ERROR_ACCESS_DENIED);
    EXPECT_EQ(ce::File::open(path, ce::GENERIC_READ, 1, 9).error(), ce::ERROR_INVALID_PARAMETER);
}

// A handle opened for a sequential scan reads ahead of its caller, yet every read and every
// move gives what a plain handle gives: reads of any size across the read-ahead's edges, moves
// from where the caller stands, a move that fails, the end of the file. A handle that may
// write ignores the hint.
TEST_F(Files, SequentialScanReadsAndMovesAsAPlainHandleDoes) {
    std::string bytes(300001, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7919) >> 5);
    writeHost(hu.nand() / "scan.bin", bytes);
    const char* path = "\\NAND Flash\\scan.bin";
    auto plain = ce::File::open(path, ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING);
    auto scan = ce::File::open(path, ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING, ce::FILE_FLAG_SEQUENTIAL_SCAN);
    ASSERT_TRUE(plain.ok() && scan.ok());
    const auto readBoth = [&](uint32_t size) {
        std::string a(size, '\0'), b(size, '\0');
        uint32_t na = 0, nb = 0;
        EXPECT_EQ((*plain)->read(a.data(), size, &na), ce::ERROR_SUCCESS);
        EXPECT_EQ((*scan)->read(b.data(), size, &nb), ce::ERROR_SUCCESS);
        a.resize(na);
        b.resize(nb);
        EXPECT_EQ(a, b) << "a read of " << size;
        return nb;
    };
    const auto moveBoth = [&](int64_t distance, uint32_t method) {
        auto a = (*plain)->seek(distance, method);
        auto b = (*scan)->seek(distance, method);
        EXPECT_EQ(a.ok(), b.ok());
        if (a.ok() && b.ok()) {
            EXPECT_EQ(*a, *b) << "a move of " << distance << " from " << method;
        }
    };
    for (uint32_t size : {1u, 4096u, 7u, 131072u, 4096u, 200000u, 4096u}) readBoth(size);
    moveBoth(-5, ce::FILE_CURRENT);
    readBoth(4096);
    moveBoth(0, ce::FILE_CURRENT);
    moveBoth(-1000000, ce::FILE_CURRENT);  // before the start: refused, nothing moved
    readBoth(100);
    moveBoth(10, ce::FILE_BEGIN);
    readBoth(50000);
    moveBoth(-10, ce::FILE_END);
    EXPECT_EQ(readBoth(4096), 10u);
    EXPECT_EQ(readBoth(4096), 0u) << "the end of the file";
    moveBoth(0, ce::FILE_BEGIN);
    while (readBoth(4096) > 0) {
    }

    auto writable = ce::File::open(path, ce::GENERIC_READ | ce::GENERIC_WRITE, ce::FILE_SHARE_READ, ce::OPEN_EXISTING,
                                   ce::FILE_FLAG_SEQUENTIAL_SCAN);
    ASSERT_TRUE(writable.ok());
    char head[4] = {};
    uint32_t n = 0;
    ASSERT_EQ((*writable)->read(head, 4, &n), ce::ERROR_SUCCESS);
    ASSERT_EQ((*writable)->write("ABCD", 4, &n), ce::ERROR_SUCCESS);
    EXPECT_EQ(readHost(hu.nand() / "scan.bin").substr(4, 4), "ABCD") << "the write lands right after what was read";
}

TEST_F(Files, SearchMatchesFilesAndFoldersInNameOrder) {
    fs::create_directories(hu.sdcard() / "UpdateXan/SFLASH");
    fs::create_directories(hu.sdcard() / "UpdateXan/b.bmp.d");
    for (const char* name : {"A.BMP", "c.bmp", "B.bmp", "a.txt", "_x.bmp", "zz.bmpx"})
        writeHost(hu.sdcard() / "UpdateXan" / name, "12");

    auto bmps = ce::findFiles("\\SDMMC Card\\updatexan\\*.bmp");
    ASSERT_TRUE(bmps.ok());
    std::vector<std::string> names;
    for (const auto& e : *bmps) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"_x.bmp", "A.BMP", "B.bmp", "c.bmp"}));

    auto all = ce::findFiles("\\SDMMC Card\\UpdateXan\\*.*");
    ASSERT_TRUE(all.ok());
    ASSERT_EQ(all->size(), 8u);
    EXPECT_EQ(all->back().name, "zz.bmpx");
    EXPECT_EQ((*all)[6].name, "SFLASH");
    EXPECT_EQ((*all)[6].attributes, ce::FILE_ATTRIBUTE_DIRECTORY);

    // Exact paths find a file or a folder under its stored name.
    auto folder = ce::findFiles("\\SDMMC Card\\UPDATEXAN\\sflash");
    ASSERT_TRUE(folder.ok());
    ASSERT_EQ(folder->size(), 1u);
    EXPECT_EQ((*folder)[0].name, "SFLASH");
    EXPECT_EQ((*folder)[0].attributes, ce::FILE_ATTRIBUTE_DIRECTORY);
    auto card = ce::findFiles("\\SDMMC Card");
    ASSERT_TRUE(card.ok());
    EXPECT_EQ((*card)[0].name, "SDMMC Card");
    EXPECT_TRUE(ce::pathExists("\\sdmmc card\\updatexan\\a.bmp"));
    EXPECT_FALSE(ce::pathExists("\\SDMMC Card\\UpdateXan\\nk.bin"));

    EXPECT_EQ(ce::findFiles("\\SDMMC Card\\UpdateXan\\*.rom").error(), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ce::findFiles("\\SDMMC Card\\UpdateXan\\nk.rom").error(), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ce::findFiles("\\SDMMC Card\\Nope\\*").error(), ce::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ce::findFiles("\\SDMMC Card\\UpdateXan\\a.txt\\*").error(), ce::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ce::findFiles("\\SDMMC Card\\*\\*.bmp").error(), ce::ERROR_INVALID_NAME);
}

TEST_F(Files, CreateAndRemoveFolders) {
    EXPECT_EQ(ce::createDirectory("\\NAND Flash\\ZEK"), ce::ERROR_SUCCESS);
    EXPECT_EQ(ce::createDirectory("\\nand flash\\zek"), ce::ERROR_ALREADY_EXISTS);
    EXPECT_EQ(ce::createDirectory("\\NAND Flash\\A\\B"), ce::ERROR_PATH_NOT_FOUND);
    writeHost(hu.nand() / "ZEK/f", "x");
    EXPECT_EQ(ce::createDirectory("\\NAND Flash\\ZEK\\f"), ce::ERROR_ALREADY_EXISTS);

    EXPECT_EQ(ce::removeDirectory("\\NAND Flash\\ZEK"), ce::ERROR_DIR_NOT_EMPTY);
    EXPECT_EQ(ce::removeDirectory("\\NAND Flash\\ZEK\\f"), ce::ERROR_DIRECTORY);
    EXPECT_EQ(ce::deleteFile("\\NAND Flash\\ZEK"), ce::ERROR_ACCESS_DENIED);
    EXPECT_EQ(ce::deleteFile("\\NAND Flash\\ZEK\\f"), ce::ERROR_SUCCESS);
    EXPECT_EQ(ce::removeDirectory("\\NAND Flash\\zek"), ce::ERROR_SUCCESS);
    EXPECT_EQ(ce::removeDirectory("\\NAND Flash\\ZEK"), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ce::removeDirectory("\\NAND Flash"), ce::ERROR_ACCESS_DENIED);  // a mount stays
}

// Files created one after another in a folder reuse what the layer knows of its names; what
// someone else does to the folder in between is still seen, and a new file never becomes a
// second spelling of an existing one.
TEST_F(Files, NamesCreatedBesideOthersStayCaseInsensitive) {
    ASSERT_EQ(ce::createDirectory("\\NAND Flash\\Box"), ce::ERROR_SUCCESS);
    for (const char* name : {"\\NAND Flash\\box\\One.txt", "\\NAND Flash\\BOX\\two.txt", "\\NAND Flash\\box\\ONE.TXT"})
        EXPECT_EQ(ce::copyFile(ce::admitHostFile(hu.root() / "registry.reg"), name, false), ce::ERROR_SUCCESS) << name;
    writeHost(hu.nand() / "Box/Three.TXT", "3");  // created by someone else
    auto three = ce::File::open("\\NAND Flash\\box\\three.txt", ce::GENERIC_WRITE, 0, ce::CREATE_ALWAYS);
    ASSERT_TRUE(three.ok());
    three->reset();
    fs::remove(hu.nand() / "Box/two.txt");
    writeHost(hu.nand() / "Box/TWO.txt", "2");
    EXPECT_EQ(ce::File::open("\\NAND Flash\\box\\Two.TXT", ce::GENERIC_READ, 0, ce::OPEN_EXISTING).error(), ce::ERROR_SUCCESS);
    EXPECT_EQ(ce::createDirectory("\\NAND Flash\\box\\ONE.txt"), ce::ERROR_ALREADY_EXISTS);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(hu.nand() / "Box")) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"One.txt", "TWO.txt", "Three.TXT"}));
    EXPECT_EQ(readHost(hu.nand() / "Box/Three.TXT"), "");
}

TEST_F(Files, CopyReportsProgressAndCanCancel) {
    std::string big(150 * 1024, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    writeHost(hu.sdcard() / "big.bin", big);
    writeHost(hu.sdcard() / "empty.bin", "");
    ASSERT_EQ(ce::setFileAttributes("\\SDMMC Card\\big.bin", ce::FILE_ATTRIBUTE_HIDDEN), ce::ERROR_SUCCESS);

    std::vector<std::pair<uint64_t, uint32_t>> calls;
    auto record = [&](const ce::CopyProgressInfo& i) {
        EXPECT_EQ(i.totalFileSize, big.size());
        calls.emplace_back(i.totalBytesTransferred, i.callbackReason);
        return ce::PROGRESS_CONTINUE;
    };
    ASSERT_EQ(ce::copyFileEx("\\SDMMC Card\\big.bin", "\\NAND Flash\\big.bin", record, nullptr, 0), ce::ERROR_SUCCESS);
    EXPECT_EQ(readHost(hu.nand() / "big.bin"), big);
    EXPECT_EQ(*ce::getFileAttributes("\\NAND Flash\\big.bin"), ce::FILE_ATTRIBUTE_HIDDEN);
    ASSERT_EQ(calls.size(), 4u);  // 0, then 64 KiB, 128 KiB, 150 KiB
    EXPECT_EQ(calls[0], std::make_pair(uint64_t{0}, 1u));
    EXPECT_EQ(calls[1], std::make_pair(uint64_t{65536}, 0u));
    EXPECT_EQ(calls[3], std::make_pair(uint64_t{big.size()}, 0u));

    // An empty file still gets its 0-byte call.
    int emptyCalls = 0;
    ASSERT_EQ(ce::copyFileEx("\\SDMMC Card\\empty.bin", "\\NAND Flash\\empty.bin",
                             [&](const ce::CopyProgressInfo& i) {
                                 ++emptyCalls;
                                 EXPECT_EQ(i.totalBytesTransferred, 0u);
                                 return ce::PROGRESS_CONTINUE;
                             },
                             nullptr, 0),
              ce::ERROR_SUCCESS);
    EXPECT_EQ(emptyCalls, 1);

    // Cancel through the routine, and through the flag set while copying: no target remains.
    int seen = 0;
    auto cancelSecond = [&](const ce::CopyProgressInfo&) { return ++seen == 2 ? ce::PROGRESS_CANCEL : ce::PROGRESS_CONTINUE; };
    EXPECT_EQ(ce::copyFileEx("\\SDMMC Card\\big.bin", "\\NAND Flash\\c1.bin", cancelSecond, nullptr, 0),
              ce::ERROR_REQUEST_ABORTED);
    EXPECT_FALSE(fs::exists(hu.nand() / "c1.bin"));
    bool cancel = false;
    auto setFlag = [&](const ce::CopyProgressInfo& i) {
        if (i.totalBytesTransferred > 0) cancel = true;
        return ce::PROGRESS_CONTINUE;
    };
    EXPECT_EQ(ce::copyFileEx("\\SDMMC Card\\big.bin", "\\NAND Flash\\c2.bin", setFlag, &cancel, 0), ce::ERROR_REQUEST_ABORTED);
    EXPECT_FALSE(fs::exists(hu.nand() / "c2.bin"));
    // PROGRESS_QUIET stops the calls, not the copy.
    seen = 0;
    auto quiet = [&](const ce::CopyProgressInfo&) { return ++seen, ce::PROGRESS_QUIET; };
    EXPECT_EQ(ce::copyFileEx("\\SDMMC Card\\big.bin", "\\NAND Flash\\c3.bin", quiet, nullptr, 0), ce::ERROR_SUCCESS);
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(readHost(hu.nand() / "c3.bin"), big);
}

TEST_F(Files, CopyTargetRules) {
    writeHost(hu.sdcard() / "new.bin", "new");
    writeHost(hu.nand() / "old.bin", "old");
    EXPECT_EQ(ce::copyFile("\\SDMMC Card\\new.bin", "\\NAND Flash\\old.bin", true), ce::ERROR_FILE_EXISTS);
    EXPECT_EQ(readHost(hu.nand() / "old.bin"), "old");
    EXPECT_EQ(ce::copyFile("\\SDMMC Card\\new.bin", "\\NAND Flash\\old.bin", false), ce::ERROR_SUCCESS);
    EXPECT_EQ(readHost(hu.nand() / "old.bin"), "new");

    ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\old.bin", ce::FILE_ATTRIBUTE_READONLY), ce::ERROR_SUCCESS);
    EXPECT_EQ(ce::copyFile("\\SDMMC Card\\new.bin", "\\NAND Flash\\old.bin", false), ce::ERROR_ACCESS_DENIED);
    EXPECT_EQ(ce::copyFile("\\SDMMC Card\\none.bin", "\\NAND Flash\\x.bin", false), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ce::copyFile("\\SDMMC Card\\new.bin", "\\NAND Flash\\no\\x.bin", false), ce::ERROR_PATH_NOT_FOUND);
    // A program copied is still a program on the host.
    fs::permissions(hu.sdcard() / "new.bin", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_exec);
    EXPECT_EQ(ce::copyFile("\\SDMMC Card\\new.bin", "\\NAND Flash\\run.exe", false), ce::ERROR_SUCCESS);
    EXPECT_EQ(fs::status(hu.nand() / "run.exe").permissions(),
              fs::perms::owner_all | fs::perms::group_read | fs::perms::others_exec);
    // Copying a file onto itself must not truncate it.
    EXPECT_EQ(ce::copyFile("\\SDMMC Card\\new.bin", "\\SDMMC Card\\NEW.BIN", false), ce::ERROR_SHARING_VIOLATION);
    EXPECT_EQ(readHost(hu.sdcard() / "new.bin"), "new");
}

TEST_F(Files, CopyAcrossFileSystemsFromPseudoFilesAndOverAttributes) {
    std::string big(150 * 1024, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 13 + i / 1000);
    writeHost(hu.nand() / "big.bin", big);
    auto progressOf = [](std::vector<uint64_t>* calls) {
        return [calls](const ce::CopyProgressInfo& i) {
            calls->push_back(i.totalBytesTransferred);
            return ce::PROGRESS_CONTINUE;
        };
    };

    // To another host file system (memory), where the kernel refuses an in-place copy: same
    // bytes and the same progress steps as within one file system.
    if (fs::is_directory("/dev/shm")) {
        char folder[] = "/dev/shm/hu-copy-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        const fs::path other = fs::path(folder) / "big.bin";
        std::vector<uint64_t> out, back;
        const std::string otherDevice = ce::admitHostFile(other);
        EXPECT_EQ(ce::copyFileEx("\\NAND Flash\\big.bin", otherDevice, progressOf(&out), nullptr, 0),
                  ce::ERROR_SUCCESS);
        EXPECT_EQ(ce::copyFileEx(otherDevice, "\\SDMMC Card\\back.bin", progressOf(&back), nullptr, 0),
                  ce::ERROR_SUCCESS);
        fs::remove_all(folder);
        EXPECT_EQ(readHost(hu.sdcard() / "back.bin"), big);
        const std::vector<uint64_t> steps{0, 65536, 131072, big.size()};
        EXPECT_EQ(out, steps);
        EXPECT_EQ(back, steps);
    }

    // A pseudo file reports a size of 0 and still has content: all of it is copied.
    const std::string version = readHost("/proc/version");
    ASSERT_FALSE(version.empty());
    ASSERT_EQ(ce::copyFile(ce::admitHostFile("/proc/version"), "\\NAND Flash\\version.txt", false), ce::ERROR_SUCCESS);
    EXPECT_EQ(readHost(hu.nand() / "version.txt"), version);

    // A copy over a hidden file takes the source's attributes: none.
    ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\version.txt", ce::FILE_ATTRIBUTE_HIDDEN), ce::ERROR_SUCCESS);
    ASSERT_EQ(ce::copyFile("\\NAND Flash\\big.bin", "\\NAND Flash\\VERSION.TXT", false), ce::ERROR_SUCCESS);
    EXPECT_EQ(*ce::getFileAttributes("\\NAND Flash\\version.txt"), ce::FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(readHost(hu.nand() / "version.txt"), big);
}

TEST_F(Files, TextReaderSplitsLinesLikeFgets) {
    writeHost(hu.sdcard() / "v.txt", "1.0.2\r\nsecond line that is long\nlast");
    auto text = ce::TextReader::open("\\SDMMC Card\\v.txt", ce::TextReader::Text);
    ASSERT_TRUE(text.ok());
    EXPECT_EQ((*text)->readLine(260), "1.0.2\n");
    EXPECT_EQ((*text)->readLine(8), "second ");  // bufferSize - 1 bytes
    EXPECT_EQ((*text)->readLine(260), "line that is long\n");
    EXPECT_EQ((*text)->readLine(260), "last");
    EXPECT_EQ((*text)->readLine(260), std::nullopt);

    auto binary = ce::TextReader::open("\\SDMMC Card\\v.txt", ce::TextReader::Binary);
    EXPECT_EQ((*binary)->readLine(260), "1.0.2\r\n");
    // A CR at the end of a piece stays in binary mode and counts towards the limit.
    auto cut = ce::TextReader::open("\\SDMMC Card\\v.txt", ce::TextReader::Binary);
    EXPECT_EQ((*cut)->readLine(7), "1.0.2\r");
    EXPECT_EQ((*cut)->readLine(7), "\n");

    // "\r\n" across the reader's internal chunks still reads as one line end in text mode.
    std::string longLine(4095, 'x');
    writeHost(hu.sdcard() / "w.txt", longLine + "\r\nz\r");
    auto chunked = ce::TextReader::open("\\SDMMC Card\\w.txt", ce::TextReader::Text);
    EXPECT_EQ((*chunked)->readLine(8192), longLine + "\n");
    EXPECT_EQ((*chunked)->readLine(8192), "z\r");  // a lone CR stays
    EXPECT_EQ(ce::TextReader::open("\\SDMMC Card\\none.txt", ce::TextReader::Text).error(), ce::ERROR_FILE_NOT_FOUND);
}

}  // namespace
