// End-to-end runs of `hu demo` as a user runs it: the real programs, the simulators, a
// temporary head unit. Small images keep each run short (--small); the transfers and the
// system's own waits still take their real time.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tools/hu/demo/child_processes.h"
#include "tools/hu/demo/head_unit_processes.h"

namespace hu::demo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kHu = std::string(HU_BIN_DIR) + "/hu";

// A run of `hu demo` in the background, its output in a file of its own.
class DemoProcess {
public:
    explicit DemoProcess(std::vector<std::string> args) {
        char pattern[] = "/tmp/hu-demo-test-XXXXXX";
        work_ = ::mkdtemp(pattern);
        std::vector<std::string> argv = {kHu, "demo", "--small", "--screenshots", (work_ / "screenshots").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        children_.start("demo", argv, work_ / "output.txt");
    }
    ~DemoProcess() {
        children_.stopAll(5s);
        std::error_code ec;
        fs::remove_all(work_, ec);
    }

    std::string Output() const {
        std::ifstream in(work_ / "output.txt", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::optional<int> Wait(std::chrono::seconds timeout) { return children_.waitExit("demo", timeout); }
    pid_t Pid() { return children_.pids().front(); }
    bool WaitForOutput(const std::string& text, std::chrono::seconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (Output().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() >= deadline || children_.exitCode("demo")) return false;
            std::this_thread::sleep_for(50ms);
        }
        return true;
    }
    // The head unit the demo made, from its first line.
    fs::path HeadUnit() const {
        std::smatch m;
        const std::string output = Output();
        return std::regex_search(output, m, std::regex("head unit: (\\S+)")) ? fs::path(m[1].str()) : fs::path();
    }
    // The line of the summary for a check, "" when there is none.
    std::string CheckLine(const std::string& name) const {
        const std::string output = Output();
        size_t at = output.find(name);
        if (at == std::string::npos) return {};
        size_t start = output.rfind('\n', at) + 1;
        return output.substr(start, output.find('\n', at) - start);
    }
    int Screenshots() const {
        int n = 0;
        std::error_code ec;
        for (fs::directory_iterator it(work_ / "screenshots", ec), end; !ec && it != end; it.increment(ec))
            n += it->path().extension() == ".png" ? 1 : 0;
        return n;
    }

private:
    fs::path work_;
    ChildProcesses children_;
};

// The guidance panel's checks, after the installer has put it into the NAND flash.
constexpr const char* kPanelChecks[] = {"ZEK.cfg after each tap", "panel window rectangle in each state",
                                        "panel icon areas = installed bitmaps", "camera distance changes colour",
                                        "Kelo_ZEK ended after the destroy code"};

bool Passed(const std::string& checkLine) { return checkLine.find("  ok  ") == 0; }
bool Failed(const std::string& checkLine) { return checkLine.find("  FAIL  ") == 0; }

// Nothing of the head unit is left: no process, no folder.
void ExpectNothingLeft(const fs::path& root) {
    ASSERT_FALSE(root.empty());
    for (int i = 0; i < 200 && (fs::exists(root) || !headUnitProcesses(root).empty()); ++i) std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(headUnitProcesses(root).empty());
    EXPECT_FALSE(fs::exists(root)) << root;
}

TEST(Demo, UpdatesEverythingAndEveryCheckPasses) {
    DemoProcess demo({});
    ASSERT_EQ(demo.Wait(180s), 0) << demo.Output();
    const std::string output = demo.Output();
    EXPECT_NE(output.find("pressed START"), std::string::npos);
    EXPECT_NE(output.find("pressed RESTART"), std::string::npos);
    for (const char* check : {"bootloader area = tcBoot.rom", "hidden pages from 1", "sectors from 8 = nk.rom",
                              "MCU flash 0..01FFF = MICOM.BIN", "Bluetooth module received BT.bin", "restart sequence",
                              "shell windows received", "panel package installed", "success text"})
        EXPECT_TRUE(Passed(demo.CheckLine(check))) << check << "\n" << output;
    for (const char* check : kPanelChecks) EXPECT_TRUE(Passed(demo.CheckLine(check))) << check << "\n" << output;
    EXPECT_NE(output.find("every check passed"), std::string::npos);
    // A picture of each page: main page, installer, OS, MCU and Bluetooth pages, the results;
    // and of each state of the guidance panel.
    EXPECT_GE(demo.Screenshots(), 7 + 9);
    EXPECT_NE(output.find("tapped the collapse button"), std::string::npos);
    EXPECT_NE(output.find("everything else"), std::string::npos);
    ExpectNothingLeft(demo.HeadUnit());
}

TEST(Demo, EmergencyRunsUnattendedWithoutTheBluetoothStep) {
    DemoProcess demo({"--emergency"});
    ASSERT_EQ(demo.Wait(180s), 0) << demo.Output();
    const std::string output = demo.Output();
    EXPECT_EQ(output.find("pressed START"), std::string::npos);
    EXPECT_EQ(output.find("pressed RESTART"), std::string::npos);
    EXPECT_EQ(output.find("Bluetooth update appeared"), std::string::npos);
    EXPECT_TRUE(Passed(demo.CheckLine("Bluetooth module untouched"))) << output;
    EXPECT_TRUE(Passed(demo.CheckLine("NAND root cleared"))) << output;
    EXPECT_TRUE(Passed(demo.CheckLine("restart sequence"))) << output;
    EXPECT_TRUE(Passed(demo.CheckLine("panel package installed"))) << output;
    for (const char* check : kPanelChecks) EXPECT_TRUE(Passed(demo.CheckLine(check))) << check << "\n" << output;
    ExpectNothingLeft(demo.HeadUnit());
}

// Each injected fault fails exactly the check of the part it breaks, with the evidence and
// the updater's own words; the other parts still check out.
struct FaultCase {
    const char* fault;
    const char* failingCheck;
    const char* evidence;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.fault; }

class DemoFault : public testing::TestWithParam<FaultCase> {};

TEST_P(DemoFault, FailsOnTheBrokenPartsCheck) {
    const FaultCase& c = GetParam();
    DemoProcess demo({"--fault", c.fault});
    ASSERT_EQ(demo.Wait(300s), 1) << demo.Output();
    const std::string line = demo.CheckLine(c.failingCheck);
    EXPECT_TRUE(Failed(line)) << demo.Output();
    EXPECT_NE(line.find(c.evidence), std::string::npos) << line;
    EXPECT_TRUE(Failed(demo.CheckLine("success text")));
    for (const char* other : {"bootloader area = tcBoot.rom", "restart sequence", "shell windows received", "panel package installed"})
        EXPECT_TRUE(Passed(demo.CheckLine(other))) << other << "\n" << demo.Output();
    EXPECT_NE(demo.Output().find("hu demo: FAILED checks: "), std::string::npos);
    ExpectNothingLeft(demo.HeadUnit());
}

INSTANTIATE_TEST_SUITE_P(
    OnePartBroken, DemoFault,
    testing::Values(FaultCase{"kernel-checksum", "sectors from 8 = nk.rom", "CRC Check is Failed"},
                    FaultCase{"mcu-drops-acks", "MCU flash", "??? Error code"},
                    FaultCase{"bt-image-locked", "Bluetooth module received BT.bin", "FILE_NOT_EXIST"}),
    [](const testing::TestParamInfo<FaultCase>& info) {
        std::string name = info.param.fault;
        for (char& ch : name) ch = ch == '-' ? '_' : ch;
        return name;
    });

TEST(Demo, CtrlCStopsEverythingAndRemovesTheHeadUnit) {
    DemoProcess demo({});
    ASSERT_TRUE(demo.WaitForOutput("MCU update appeared", 90s)) << demo.Output();
    const fs::path root = demo.HeadUnit();
    ASSERT_FALSE(headUnitProcesses(root).empty());
    ::kill(demo.Pid(), SIGINT);
    ASSERT_EQ(demo.Wait(30s), 128 + SIGINT) << demo.Output();
    EXPECT_NE(demo.Output().find("interrupted by Ctrl-C"), std::string::npos) << demo.Output();
    ExpectNothingLeft(root);
}

TEST(Demo, AKilledDemoLeavesNothingBehind) {
    DemoProcess demo({});
    ASSERT_TRUE(demo.WaitForOutput("OS update appeared", 90s)) << demo.Output();
    const fs::path root = demo.HeadUnit();
    ASSERT_FALSE(headUnitProcesses(root).empty());
    ::kill(demo.Pid(), SIGKILL);  // no clean-up of its own: the watchdog and the death signal do it
    ASSERT_EQ(demo.Wait(10s), 128 + SIGKILL);
    ExpectNothingLeft(root);
}

}  // namespace
}  // namespace hu::demo
