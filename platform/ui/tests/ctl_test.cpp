// End to end: the sample program runs in a head unit and `hu ctl` drives every control of it
// from outside, reads its state, sends it messages and WM_COPYDATA, and captures the screen.

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "platform/gfx/png.h"
#include "sim/headunit/headunit.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct CtlRun {
    int status = -1;
    std::string out;
};

CtlRun hu(const std::string& args) {
    std::string command = std::string(HU_BIN_DIR) + "/hu ctl " + args + "";
    CtlRun r;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class CtlTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ui-ctl-XXXXXX";
        root_ = mkdtemp(pattern);
        sim::createHeadUnit(root_);
        dir_ = "'" + root_.string() + "'";
        std::string exe = std::string(HU_BIN_DIR) + "/ui_sample_dialog";
        std::string env = "HEADUNIT_ROOT=" + root_.string();
        std::vector<char*> envp;
        for (char** e = environ; *e; ++e)
            if (std::string(*e).rfind("HEADUNIT_ROOT=", 0) != 0) envp.push_back(*e);
        envp.push_back(env.data());
        envp.push_back(nullptr);
        char* argv[] = {exe.data(), nullptr};
        ASSERT_EQ(posix_spawn(&pid_, exe.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    std::string w() const { return dir_ + " "; }

    fs::path root_;
    std::string dir_;
    pid_t pid_ = 0;
};

}  // namespace

TEST_F(CtlTest, EveryControlOfTheSampleDialogIsDrivenFromOutside) {
    const std::string page = " --title 'UI Sample' ";
    ASSERT_EQ(hu(w() + "wait " + page + "1007 Ready --timeout 20").status, 0);

    // list: the window and every control with its state.
    CtlRun list = hu(w() + "list " + "--json");
    ASSERT_EQ(list.status, 0);
    auto windows = nlohmann::json::parse(list.out);
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0]["title"], "UI Sample");
    EXPECT_EQ(windows[0]["rect"], nlohmann::json({0, 0, 800, 480}));
    EXPECT_TRUE(windows[0]["topmost"].get<bool>());
    std::map<int, nlohmann::json> controls;
    for (const auto& c : windows[0]["controls"]) controls[c["id"].get<int>()] = c;
    EXPECT_EQ(controls[1000]["text"], "START");
    EXPECT_FALSE(controls[1002]["enabled"].get<bool>());
    EXPECT_EQ(controls[1003]["range"], nlohmann::json({0, 240}));
    EXPECT_EQ(controls[1003]["pos"], 0);
    EXPECT_EQ(controls[-1]["text"], "UI Sample Ver1.0");
    EXPECT_NE(hu(w() + "list ").out.find("id 1006 EDIT \"Press START\" visible enabled"), std::string::npos);

    // A disabled button cannot be clicked; START can, and changes the page.
    EXPECT_EQ(hu(w() + "click " + page + "1002").status, 1);
    EXPECT_EQ(hu(w() + "click " + page + "1000").status, 0);
    EXPECT_EQ(hu(w() + "wait " + page + "1006 'Started\r\nsecond line' --timeout 10").status, 0);
    EXPECT_EQ(hu(w() + "text " + page + "1006").out, "Started\r\nsecond line\n");
    EXPECT_EQ(hu(w() + "click " + page + "1000").status, 1) << "START is hidden now";
    EXPECT_EQ(hu(w() + "wait " + "--program ui_sample_dialog 1003 x --timeout 0.3").status, 1);

    // Registered message by name, sent and posted; the answer comes back.
    CtlRun sent = hu(w() + "send " + page + "UI_SAMPLE_STEP 120 0");
    EXPECT_EQ(sent.status, 0);
    EXPECT_EQ(sent.out, "1\n");
    EXPECT_EQ(hu(w() + "text " + page + "1007").out, "Step 120\n");
    EXPECT_EQ(hu(w() + "post " + page + "UI_SAMPLE_STEP 240 0").status, 0);
    EXPECT_EQ(hu(w() + "wait " + page + "1007 'Step 240' --timeout 10").status, 0);

    // WM_COPYDATA with a file's bytes.
    fs::path record = root_ / "record.bin";
    std::ofstream(record) << "Gangnam-daero";
    CtlRun copied = hu(w() + "copydata " + page + "41 '" + record.string() + "'");
    EXPECT_EQ(copied.out, "42\n");
    EXPECT_EQ(hu(w() + "text " + page + "1007").out, "Gangnam-daero\n");

    // A tap on the page's background, in its client coordinates.
    EXPECT_EQ(hu(w() + "tap " + "790 20").status, 0);
    EXPECT_EQ(hu(w() + "wait " + page + "1007 'Tapped 790,20' --timeout 10").status, 0);

    // The screen as a person sees it: the bar is full after step 240.
    fs::path png = root_ / "screen.png";
    ASSERT_EQ(hu(w() + "capture " + "'" + png.string() + "'").status, 0);
    auto screen = ce::readPng(png);
    ASSERT_TRUE(screen.ok());
    EXPECT_EQ(screen->width(), 800);
    EXPECT_EQ(screen->height(), 480);
    auto bar = controls[1003]["rect"];
    int barX = bar[2].get<int>() - 4;
    int barY = (bar[1].get<int>() + bar[3].get<int>()) / 2;
    EXPECT_EQ(screen->pixel(barX, barY), 0x0060C0u);
    EXPECT_EQ(hu(w() + "capture " + "'" + (root_ / "page.png").string() + "'" + page).status, 0);

    // NEXT opens a message box; its OK button is clicked like any other.
    EXPECT_EQ(hu(w() + "click " + page + "1002").status, 0);
    EXPECT_EQ(hu(w() + "wait " + "--title 'Sample Box' -1 'All steps done.' --timeout 10").status, 0);
    EXPECT_EQ(hu(w() + "click " + "--title 'Sample Box' 1").status, 0);
    EXPECT_EQ(hu(w() + "wait " + page + "1007 'Box closed' --timeout 10").status, 0);

    // CANCEL ends the program.
    EXPECT_EQ(hu(w() + "click " + page + "1001").status, 0);
    int status = 0;
    for (int i = 0; i < 500 && waitpid(pid_, &status, WNOHANG) == 0; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    pid_ = 0;
    EXPECT_EQ(hu(w() + "list ").out, "no windows\n");
    EXPECT_EQ(hu(w() + "text " + page + "1007").status, 1);
}

TEST(Ctl, BadArgumentsGiveOneClearLineAndNonZeroExit) {
    EXPECT_EQ(hu("").status, 2);
    EXPECT_EQ(hu("/nonexistent/head/unit list").status, 1);
}
