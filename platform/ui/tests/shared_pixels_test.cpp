// Window images in shared memory: another process reads what the owner drew, and an image
// whose owner died is swept away while the images of live owners stay.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/ui/shared_pixels.h"

namespace fs = std::filesystem;
using ce::SharedPixels;

namespace {

class SharedPixelsTest : public ::testing::Test {
protected:
    SharedPixelsTest() {
        char tmpl[] = "/tmp/hu-pixels-XXXXXX";
        folder_ = mkdtemp(tmpl);
    }
    ~SharedPixelsTest() override { fs::remove_all(folder_); }
    std::string image(const char* name) const { return (folder_ / name).string(); }

    fs::path folder_;
};

// A child process that creates an image, reports it is ready, and then waits to be killed.
pid_t ownerProcess(const std::string& path) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        auto pixels = SharedPixels::create(path, 4, 2);
        pixels->surface().setPixel(1, 1, 0x123456);
        char c = 1;
        (void)!write(ready[1], &c, 1);
        pause();
        _exit(0);
    }
    char c = 0;
    (void)!read(ready[0], &c, 1);
    close(ready[0]);
    close(ready[1]);
    return pid;
}

}  // namespace

TEST_F(SharedPixelsTest, AnotherProcessReadsWhatTheOwnerDrew) {
    pid_t owner = ownerProcess(image("hu-a-1"));
    auto read = SharedPixels::read(image("hu-a-1"));
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read->width(), 4);
    EXPECT_EQ(read->pixel(1, 1), 0x123456u);
    kill(owner, SIGKILL);
    waitpid(owner, nullptr, 0);
}

TEST_F(SharedPixelsTest, ImagesOfDeadOwnersAreSweptAndLiveOnesStay) {
    pid_t killed = ownerProcess(image("hu-a-1"));
    pid_t living = ownerProcess(image("hu-a-2"));
    auto mine = SharedPixels::create(image("hu-b-1"), 4, 2);
    kill(killed, SIGKILL);
    waitpid(killed, nullptr, 0);

    // Too young to be judged: the owner might not have locked it yet.
    EXPECT_EQ(SharedPixels::removeOrphans(folder_.string(), "hu-", 3600), 0);
    EXPECT_TRUE(fs::exists(image("hu-a-1")));

    EXPECT_EQ(SharedPixels::removeOrphans(folder_.string(), "hu-", 0), 1);
    EXPECT_FALSE(fs::exists(image("hu-a-1")));
    EXPECT_TRUE(fs::exists(image("hu-a-2")));
    EXPECT_TRUE(fs::exists(image("hu-b-1")));

    kill(living, SIGKILL);
    waitpid(living, nullptr, 0);
    EXPECT_EQ(SharedPixels::removeOrphans(folder_.string(), "hu-a-", 0), 1);
    EXPECT_TRUE(fs::exists(image("hu-b-1"))) << "another prefix is not touched";
    mine.reset();
    EXPECT_FALSE(fs::exists(image("hu-b-1"))) << "a destroyed window removes its own image";
}

TEST_F(SharedPixelsTest, FilesThatAreNoWindowImagesAreNeverRemoved) {
    { std::ofstream(image("hu-notes.txt")) << "not an image, no lock held"; }
    EXPECT_EQ(SharedPixels::removeOrphans(folder_.string(), "hu-", 0), 0);
    EXPECT_TRUE(fs::exists(image("hu-notes.txt")));
}
