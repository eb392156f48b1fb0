// Debug and console output: formats, the log file, captures, and whole lines under threads.

#include "platform/core/debug.h"

#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "sim/headunit/headunit.h"

namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(Debug, FormatsGoToTheCaptureAndTheLogFile) {
    sim::TempHeadUnit unit;
    ce::setProgramName("DebugTest");
    ce::DebugCapture outer;
    {
        ce::DebugCapture inner;
        ce::debugPrint("### UPDATE_XAN:0x%04X \n", 0x2a);
        ce::consolePrint("[dfu\t] %s=%d\n", "state", 5);
        EXPECT_EQ(inner.writes(), (std::vector<std::string>{"### UPDATE_XAN:0x002A \n", "[dfu\t] state=5\n"}));
        EXPECT_EQ(inner.text(ce::OutputChannel::Console), "[dfu\t] state=5\n");
        EXPECT_TRUE(inner.contains("UPDATE_XAN"));
        inner.clear();
        EXPECT_EQ(inner.text(), "");
    }
    ce::debugPrint("after\n");
    EXPECT_EQ(outer.text(), "### UPDATE_XAN:0x002A \n[dfu\t] state=5\nafter\n");
    EXPECT_EQ(readFile(unit.root() / "log" / "DebugTest.log"), "### UPDATE_XAN:0x002A \n[dfu\t] state=5\nafter\n");
}

TEST(Debug, LinesOfSeveralThreadsStayWhole) {
    sim::TempHeadUnit unit;
    ce::setProgramName("Threads");
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            std::string body(100 + t * 37, char('a' + t));
            for (int i = 0; i < kLines; ++i) ce::debugPrint("<%d:%s:%d>\n", t, body, i);
        });
    }
    for (auto& t : threads) t.join();

    std::istringstream log(readFile(unit.root() / "log" / "Threads.log"));
    std::string line;
    std::vector<int> next(kThreads, 0);
    int count = 0;
    while (std::getline(log, line)) {
        int t = line[1] - '0';
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        std::string expected = "<" + std::to_string(t) + ":" + std::string(100 + t * 37, char('a' + t)) + ":" +
                               std::to_string(next[t]++) + ">";
        ASSERT_EQ(line, expected);
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace
