// The demo's hold on processes: a child's group ends with it, every process of a head unit is
// found by its HEADUNIT_ROOT even when it detached, and the watchdog cleans up after a demo
// that ended without doing it itself.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tools/hu/demo/child_processes.h"
#include "tools/hu/demo/head_unit_processes.h"
#include "tools/hu/demo/watchdog.h"

namespace hu::demo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Folder {
public:
    Folder() {
        char pattern[] = "/tmp/hu-demo-processes-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Waits until `done` holds, up to five seconds.
template <typename Condition>
bool Eventually(Condition done) {
    for (int i = 0; i < 250 && !done(); ++i) std::this_thread::sleep_for(20ms);
    return done();
}

// Starts a shell command with HEADUNIT_ROOT naming `root`.
void StartWithRoot(ChildProcesses& children, const std::string& name, const fs::path& root, const std::string& command) {
    children.start(name, {"/usr/bin/env", "HEADUNIT_ROOT=" + root.string(), "/bin/sh", "-c", command}, root / (name + ".out"));
}

TEST(ChildProcesses, StoppingAChildEndsWhatItStartedInItsGroup) {
    Folder folder;
    ChildProcesses children;
    // The shell starts a sleeper in its own group and waits for it.
    StartWithRoot(children, "parent", folder.path(), "sleep 60 & echo $! > " + (folder.path() / "sleeper").string() + "; wait");
    ASSERT_TRUE(Eventually([&] { return fs::exists(folder.path() / "sleeper") && fs::file_size(folder.path() / "sleeper") > 0; }));
    pid_t sleeper = 0;
    std::ifstream(folder.path() / "sleeper") >> sleeper;
    ASSERT_GT(sleeper, 0);
    EXPECT_TRUE(children.running("parent"));
    children.stop("parent", 2s);
    EXPECT_TRUE(children.exitCode("parent").has_value());
    EXPECT_TRUE(Eventually([&] { return headUnitProcesses(folder.path()).empty(); }));
}

TEST(ChildProcesses, ChildrenGetTheirEndWhenTheDemoDies) {
    Folder folder;
    const pid_t demo = ::fork();
    if (demo == 0) {
        // A demo that starts a simulator and then dies without any clean-up of its own.
        ChildProcesses children;
        StartWithRoot(children, "simulator", folder.path(), "exec sleep 60");
        for (int i = 0; i < 250 && headUnitProcesses(folder.path()).empty(); ++i) std::this_thread::sleep_for(20ms);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(demo, &status, 0), demo);
    // The simulator got SIGTERM with its parent's death; nobody else ended it.
    EXPECT_TRUE(Eventually([&] { return headUnitProcesses(folder.path()).empty(); }));
}

TEST(ChildProcesses, AProgramThatCannotBeStartedIsReportedInOneLine) {
    Folder folder;
    ChildProcesses children;
    try {
        children.start("missing", {(folder.path() / "no-such-program").string()}, folder.path() / "out");
        FAIL() << "started a missing program";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("no-such-program"), std::string::npos) << e.what();
    }
}

TEST(HeadUnitProcesses, FindsDetachedProcessesByTheirHeadUnitOnly) {
    Folder ours, theirs;
    ChildProcesses children;
    // setsid: in a session of its own, as the programs the updater starts are.
    StartWithRoot(children, "detached", ours.path(), "exec setsid sleep 60");
    StartWithRoot(children, "other", theirs.path(), "exec sleep 60");
    // setsid forks the sleeper off and ends: then the sleeper is nobody's child.
    ASSERT_TRUE(children.waitExit("detached", 5s).has_value());
    ASSERT_TRUE(Eventually([&] { return headUnitProcesses(ours.path()).size() == 1; }));
    EXPECT_EQ(headUnitProcesses(theirs.path()).size(), 1u);

    EXPECT_EQ(endHeadUnitProcesses(ours.path(), 2s).size(), 1u);
    EXPECT_TRUE(Eventually([&] { return headUnitProcesses(ours.path()).empty(); }));
    EXPECT_EQ(headUnitProcesses(theirs.path()).size(), 1u);  // another head unit's process stays
}

TEST(Watchdog, CleansUpWhenTheDemoEndsWithoutFinishing) {
    Folder folder;
    const fs::path root = folder.path() / "unit";
    fs::create_directories(root);
    ChildProcesses children;
    StartWithRoot(children, "program", root, "exec setsid sleep 60");
    ASSERT_TRUE(children.waitExit("program", 5s).has_value());
    ASSERT_TRUE(Eventually([&] { return headUnitProcesses(root).size() == 1; }));
    {
        Watchdog watchdog(root, true);
    }  // gone without finished(): as if the demo had been killed
    EXPECT_TRUE(Eventually([&] { return headUnitProcesses(root).empty() && !fs::exists(root); }));
}

TEST(Watchdog, LeavesEverythingAloneAfterFinished) {
    Folder folder;
    ChildProcesses children;
    StartWithRoot(children, "program", folder.path(), "exec sleep 60");
    ASSERT_TRUE(Eventually([&] { return headUnitProcesses(folder.path()).size() == 1; }));
    {
        Watchdog watchdog(folder.path(), true);
        watchdog.finished();
    }
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(headUnitProcesses(folder.path()).size(), 1u);
    EXPECT_TRUE(fs::exists(folder.path()));
}

}  // namespace
}  // namespace hu::demo
