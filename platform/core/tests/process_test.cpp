// Starting programs by device path and named mutexes across processes.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/core/debug.h"
#include "platform/core/process.h"
#include "platform/core/profile.h"
#include "sim/headunit/headunit.h"

namespace fs = std::filesystem;

namespace {

void writeScript(const fs::path& p, const std::string& text) {
    std::ofstream(p) << text;
    fs::permissions(p, fs::perms::owner_all);
}

bool waitForFile(const fs::path& p) {
    for (int i = 0; i < 500 && !fs::exists(p); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return fs::exists(p);
}

TEST(CreateProcess, StartsAProgramWithTheHeadUnitAndLeavesNoZombie) {
    sim::TempHeadUnit hu;
    fs::create_directories(hu.sdcard() / "UpdateXan/ZEK_Update");
    writeScript(hu.sdcard() / "UpdateXan/ZEK_Update/ZEK_Update.exe",
                "#!/bin/sh\nprintf '%s %s' \"$HEADUNIT_ROOT\" \"$#\" > \"$HEADUNIT_ROOT/nand/marker.tmp\"\n"
                "mv \"$HEADUNIT_ROOT/nand/marker.tmp\" \"$HEADUNIT_ROOT/nand/marker\"\n");

    ASSERT_EQ(ce::createProcess("\\SDMMC Card\\UpdateXan\\ZEK_Update\\zek_update.exe"), ce::ERROR_SUCCESS);
    // The call does not wait and leaves no child of ours behind.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    ASSERT_TRUE(waitForFile(hu.nand() / "marker"));
    std::stringstream s;
    s << std::ifstream(hu.nand() / "marker").rdbuf();
    EXPECT_EQ(s.str(), hu.root().string() + " 0");  // inherits the head unit, gets no arguments
}

TEST(CreateProcess, ReportsWhatCannotBeStarted) {
    sim::TempHeadUnit hu;
    EXPECT_EQ(ce::createProcess("\\SDMMC Card\\VRDB_Update.exe"), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ce::createProcess("\\SDMMC Card\\none\\VRDB_Update.exe"), ce::ERROR_PATH_NOT_FOUND);
    std::ofstream(hu.sdcard() / "plain.exe") << "#!/bin/sh\n";
    EXPECT_EQ(ce::createProcess("\\SDMMC Card\\plain.exe"), ce::ERROR_ACCESS_DENIED);  // not executable
    EXPECT_EQ(ce::createProcess("\\SDMMC Card"), ce::ERROR_ACCESS_DENIED);
    writeScript(hu.sdcard() / "junk.exe", "\x7f" "ELF broken");
    EXPECT_EQ(ce::createProcess("\\SDMMC Card\\junk.exe"), ce::ERROR_BAD_EXE_FORMAT);
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

TEST(CreateProcess, NeverRunsAProgramThroughALink) {
    sim::TempHeadUnit hu;
    writeScript(hu.root() / "outside.exe", "#!/bin/sh\ntouch \"$HEADUNIT_ROOT/ran\"\n");
    fs::create_symlink(hu.root() / "outside.exe", hu.sdcard() / "linked.exe");
    fs::create_directory_symlink(hu.root(), hu.sdcard() / "linked");
    EXPECT_EQ(ce::createProcess("\\SDMMC Card\\linked.exe"), ce::ERROR_CANT_ACCESS_FILE);
    EXPECT_NE(ce::createProcess("\\SDMMC Card\\linked\\outside.exe"), ce::ERROR_SUCCESS);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(fs::exists(hu.root() / "ran"));
}

TEST(InitProgram, NamesTheProgramAndNeedsAHeadUnit) {
    {
        sim::TempHeadUnit hu;
        EXPECT_EQ(ce::initProgram("ignored/name"), ce::ERROR_SUCCESS);
        EXPECT_EQ(ce::programName(), "platform_core_tests");
    }
    // Outside a head unit (HEADUNIT_ROOT unset) the program learns it at once.
    const char* outer = std::getenv("HEADUNIT_ROOT");
    std::string saved = outer ? outer : "";
    unsetenv("HEADUNIT_ROOT");
    ce::Profile::resetCurrent();
    testing::internal::CaptureStderr();
    EXPECT_NE(ce::initProgram("x"), ce::ERROR_SUCCESS);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("HEADUNIT_ROOT is not set"), std::string::npos) << err;
    if (outer) setenv("HEADUNIT_ROOT", saved.c_str(), 1);
    ce::Profile::resetCurrent();
}

// A child that takes the mutex, reports through a pipe, then waits to be killed.
pid_t holdInChild(const char* name) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        auto m = ce::NamedMutex::create(name);
        char c = m.ok() ? 'y' : 'n';
        ssize_t w = write(ready[1], &c, 1);
        (void)w;
        pause();
        _exit(0);
    }
    char c = 0;
    ssize_t r = read(ready[0], &c, 1);
    close(ready[0]);
    close(ready[1]);
    return r == 1 && c == 'y' ? pid : -1;
}

TEST(NamedMutex, ExistsWhileALiveProcessHoldsIt) {
    sim::TempHeadUnit hu;
    {
        auto first = ce::NamedMutex::create("Kelo_ZEK");
        ASSERT_TRUE(first.ok());
        EXPECT_FALSE((*first)->alreadyExisted());
        auto second = ce::NamedMutex::create("Kelo_ZEK");
        EXPECT_TRUE((*second)->alreadyExisted());
        EXPECT_FALSE((*ce::NamedMutex::create("Other\\Name"))->alreadyExisted());
    }
    EXPECT_FALSE((*ce::NamedMutex::create("Kelo_ZEK"))->alreadyExisted());

    pid_t holder = holdInChild("Kelo_ZEK");
    ASSERT_GT(holder, 0);
    EXPECT_TRUE((*ce::NamedMutex::create("Kelo_ZEK"))->alreadyExisted());
    // The holder dies without cleaning up: its lock file stays, but the mutex is free.
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_FALSE((*ce::NamedMutex::create("Kelo_ZEK"))->alreadyExisted());
}

}  // namespace
