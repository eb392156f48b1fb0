// `hu init` as people run it: what it prints, what it refuses, what its options change.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/core/profile.h"

namespace fs = std::filesystem;

namespace {

struct HuRun {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

HuRun hu(const std::string& arguments) {
    HuRun run;
    std::string command = std::string(HU_BIN_DIR) + "/hu " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) run.output.append(buffer, n);
    int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string readAll(const fs::path& p) {
    std::stringstream s;
    s << std::ifstream(p, std::ios::binary).rdbuf();
    return s.str();
}

class HuInit : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(fs::path(HU_BIN_DIR) / "hu")) GTEST_SKIP() << "hu is not built";
        char templ[] = "/tmp/hu-init-XXXXXX";
        base = mkdtemp(templ);
    }
    void TearDown() override {
        if (!base.empty()) fs::remove_all(base);
    }
    fs::path base;
};

TEST_F(HuInit, CreatesAHeadUnitAndSaysWhatItMade) {
    fs::path dir = base / "unit";
    HuRun run = hu("init " + dir.string() + " --code-page 1251 --model U1 --versions 2.0,,1.5 --link COM5=/dev/null");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    for (const char* item : {"/sdcard/\n", "/nand/\n", "/dev/\n", "/flash/\n", "/run/\n", "/log/\n", "/headunit.json\n",
                             "/registry.reg\n", "/dev/COM5 -> /dev/null\n"})
        EXPECT_NE(run.output.find(dir.string() + item), std::string::npos) << item << "\n" << run.output;

    auto profile = ce::Profile::load(dir);
    ASSERT_TRUE(profile.ok());
    EXPECT_EQ(profile->ansiCodePage(), 1251u);
    EXPECT_EQ(fs::read_symlink(dir / "dev/COM5"), "/dev/null");
    std::string reg = readAll(dir / "registry.reg");
    EXPECT_NE(reg.find("\"CodePage\"=dword:000004e3"), std::string::npos);
    EXPECT_NE(reg.find("\"ModelName\"=\"U1\""), std::string::npos);
    EXPECT_NE(reg.find("\"OS\"=\"2.0\""), std::string::npos);
    EXPECT_EQ(reg.find("\"MICOM\""), std::string::npos);  // the empty item leaves it out
    EXPECT_NE(reg.find("\"BLUETOOTH\"=\"1.5\""), std::string::npos);
}

TEST_F(HuInit, RefusesAnOccupiedFolderUnlessForced) {
    fs::path dir = base / "unit";
    fs::create_directories(dir);
    std::ofstream(dir / "keep.txt") << "mine";

    HuRun refused = hu("init " + dir.string());
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.output, "hu init: " + dir.string() + " exists and is not empty (--force writes into it)\n");
    EXPECT_FALSE(fs::exists(dir / "headunit.json"));

    HuRun forced = hu("init " + dir.string() + " --force");
    EXPECT_EQ(forced.exitCode, 0) << forced.output;
    EXPECT_TRUE(fs::exists(dir / "headunit.json"));
    EXPECT_EQ(readAll(dir / "keep.txt"), "mine");

    std::ofstream(base / "file") << "x";
    EXPECT_EQ(hu("init " + (base / "file").string() + " --force").exitCode, 1);
}

TEST_F(HuInit, BadArgumentsGetOneClearLine) {
    for (const char* args : {"", "--code-page abc X", "--code-page 99999999999 X", "--code-page 70000 X", "--code-page -1 X",
                             "X --versions 1,2", "X --link COM5", "X --bogus", "X Y"}) {
        HuRun run = hu(std::string("init ") + args);
        EXPECT_EQ(run.exitCode, 2) << args;
        EXPECT_EQ(run.output.rfind("hu init: ", 0), 0u) << run.output;
    }
}

// An adapter that is not plugged in yet may be linked, but init says so; one that is there is
// taken without a word.
TEST_F(HuInit, WarnsOfALinkToNothing) {
    const fs::path dir = base / "linked";
    HuRun run = hu("init " + dir.string() + " --link COM5=/dev/ttyUSB-not-there COM2=/dev/null");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("warning: COM5 links to /dev/ttyUSB-not-there, which does not exist"), std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("COM2 links"), std::string::npos) << run.output;
}

TEST(Hu, VersionIsOneLine) {
    HuRun run = hu("--version");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output.rfind("hu ", 0), 0u) << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
}

}  // namespace
