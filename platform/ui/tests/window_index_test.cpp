// The desktop's window index: z-order bands, placement, handle blocks, the dropping of what
// dead processes left behind, and index files that someone else planted.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/ui/window_index.h"

using namespace ce;
namespace fs = std::filesystem;

namespace {

IndexEntry entry(HWND h, bool topmost = false) {
    IndexEntry e;
    e.hwnd = h;
    e.pid = currentPid();
    e.start = currentStartTime();
    e.topmost = topmost;
    return e;
}

std::vector<HWND> order(const IndexData& d) {
    std::vector<HWND> out;
    for (const auto& e : d.windows) out.push_back(e.hwnd);
    return out;
}

// A pid that certainly belongs to no live process: a child that has ended and been reaped.
int deadPid() {
    pid_t p = fork();
    if (p == 0) _exit(0);
    waitpid(p, nullptr, 0);
    return p;
}

}  // namespace

TEST(WindowIndex, TopmostWindowsStayAboveTheOthersWhateverTheOrderOfPlacement) {
    const HWND a = 0x10001, b = 0x10002, c = 0x10003;  // real handles never collide with HWND_BOTTOM (1)
    IndexData d;
    d.insertFront(entry(a));
    d.insertFront(entry(b, true));
    d.insertFront(entry(c));  // front of the normal band, still below the topmost one
    EXPECT_EQ(order(d), (std::vector<HWND>{b, c, a}));

    d.place(a, HWND_TOP);
    EXPECT_EQ(order(d), (std::vector<HWND>{b, a, c}));
    d.place(c, HWND_TOPMOST);
    EXPECT_EQ(order(d), (std::vector<HWND>{c, b, a}));
    EXPECT_TRUE(d.find(c)->topmost);

    d.place(b, HWND_BOTTOM);  // the bottom is below every topmost window: it loses topmost
    EXPECT_EQ(order(d), (std::vector<HWND>{c, a, b}));
    EXPECT_FALSE(d.find(b)->topmost);

    d.place(c, HWND_NOTOPMOST);
    EXPECT_EQ(order(d), (std::vector<HWND>{c, a, b}));
    EXPECT_FALSE(d.find(c)->topmost);

    d.place(c, a);  // just below window a
    EXPECT_EQ(order(d), (std::vector<HWND>{a, c, b}));
    d.place(a, 0x4242);  // after a window that does not exist: front of its band
    EXPECT_EQ(order(d), (std::vector<HWND>{a, c, b}));
}

TEST(WindowIndex, RemovingAWindowClearsForegroundAndCapture) {
    IndexData d;
    d.insertFront(entry(5));
    d.foreground = 5;
    d.capture = 5;
    d.remove(5);
    EXPECT_TRUE(d.windows.empty());
    EXPECT_EQ(d.foreground, 0u);
    EXPECT_EQ(d.capture, 0u);
}

TEST(WindowIndex, DeadProcessesLoseTheirWindowsAndBlocks) {
    fs::path dir = fs::temp_directory_path() / ("ui-index-" + std::to_string(getpid()));
    fs::create_directories(dir);

    auto index = makeSharedIndex(dir);
    int dead = deadPid();
    index->update([&](IndexData& d) {
        IndexEntry mine = entry(0x10001);
        IndexEntry theirs = entry(0x10101);
        theirs.pid = dead;
        theirs.start = 0;
        d.insertFront(mine);
        d.insertFront(theirs);
        d.blocks.push_back({0x10000, currentPid(), currentStartTime()});
        d.blocks.push_back({0x10100, dead, 0});
        d.foreground = 0x10101;
    });
    IndexData seen = index->read();  // read without a write: dead entries are already invisible
    EXPECT_EQ(order(seen), (std::vector<HWND>{0x10001}));
    EXPECT_EQ(seen.ownerPid(0x10105), 0);
    EXPECT_EQ(seen.ownerPid(0x10001), currentPid());
    EXPECT_EQ(seen.foreground, 0u);

    index->update([](IndexData&) {});  // the next write drops them for good
    EXPECT_EQ(index->read().blocks.size(), 1u);
    fs::remove_all(dir);
}

TEST(WindowIndex, ADamagedIndexFileReadsAsAnEmptyDesktop) {
    fs::path dir = fs::temp_directory_path() / ("ui-index-bad-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "windows.json") << R"({"windows": [{"hwnd": "not a number"}], "nextBlock": 5})";
    auto index = makeSharedIndex(dir);
    IndexData d = index->read();
    EXPECT_TRUE(d.windows.empty());
    EXPECT_GE(d.nextBlock, FIRST_HANDLE_BLOCK) << "handles never fall into the reserved range";
    uint32_t base = 0;
    index->update([&](IndexData& data) { base = data.nextBlock; });
    EXPECT_GE(base, FIRST_HANDLE_BLOCK);
    fs::remove_all(dir);
}

TEST(WindowIndex, PlantedLinksAndFifosAreNeitherFollowedNorWaitedFor) {
    fs::path dir = fs::temp_directory_path() / ("ui-index-planted-" + std::to_string(getpid()));
    fs::path victim = fs::temp_directory_path() / ("ui-index-victim-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(victim) << "precious";
    fs::create_symlink(victim, dir / "windows.lock");
    ASSERT_EQ(mkfifo((dir / "windows.json").c_str(), 0600), 0);

    auto index = makeSharedIndex(dir);
    EXPECT_TRUE(index->read().windows.empty()) << "a FIFO reads as an empty desktop, at once";
    index->update([](IndexData& d) { d.insertFront(entry(0x10001)); });
    EXPECT_EQ(order(index->read()), (std::vector<HWND>{0x10001})) << "the FIFO was replaced by a file";
    std::ifstream in(victim);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "precious") << "nothing written through a planted link";
    EXPECT_EQ(fs::status(dir).permissions() & fs::perms::all, fs::perms::owner_all) << "the desktop folder is private";
    fs::remove_all(dir);
    fs::remove(victim);
}

TEST(WindowIndex, ProcessIdentityIncludesItsStartTime) {
    EXPECT_TRUE(processAlive(currentPid(), currentStartTime()));
    EXPECT_TRUE(processAlive(currentPid(), 0));
    EXPECT_FALSE(processAlive(currentPid(), currentStartTime() + 1)) << "a reused pid is another process";
    EXPECT_FALSE(processAlive(deadPid(), 0));
    EXPECT_FALSE(processAlive(0, 0));
}
