// `hu watch --json` following real updates that someone else runs (`hu demo` in the
// background), and `hu demo --json` itself: every line parses, the pages arrive in the order
// the updater shows them, and the exit status matches the result.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/headunit/headunit.h"
#include "tools/hu/demo/child_processes.h"

namespace hu::demo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Json = nlohmann::json;

const std::string kHu = std::string(HU_BIN_DIR) + "/hu";

class WatchRun : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/hu-watch-test-XXXXXX";
        work_ = ::mkdtemp(pattern);
        unit_ = work_ / "unit";
    }
    void TearDown() override {
        children_.stopAll(5s);
        std::error_code ec;
        fs::remove_all(work_, ec);
    }

    // Starts `hu ARGS > NAME.json 2> NAME.err` in the background.
    void Start(const std::string& name, const std::string& args) {
        const std::string command = kHu + " " + args + " > " + (work_ / (name + ".json")).string() + " 2> " +
                                    (work_ / (name + ".err")).string();
        children_.start(name, {"/bin/sh", "-c", command}, work_ / (name + ".sh"));
    }
    std::optional<int> Wait(const std::string& name, std::chrono::seconds timeout) { return children_.waitExit(name, timeout); }

    std::string Text(const std::string& file) const {
        std::ifstream in(work_ / file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Every line of NAME.json as an object; a line that does not parse fails the test.
    std::vector<Json> Events(const std::string& name) const {
        std::vector<Json> events;
        std::istringstream in(Text(name + ".json"));
        for (std::string line; std::getline(in, line);) {
            Json j = Json::parse(line, nullptr, false);
            EXPECT_TRUE(j.is_object() && j.contains("time") && j.contains("event")) << line;
            if (j.is_object()) events.push_back(j);
        }
        return events;
    }
    // A demo making its head unit at unit_, and a watcher started as soon as the unit exists.
    void DemoAndWatcher(const std::string& demoArgs) {
        Start("demo", "demo --small --json " + demoArgs + " " + unit_.string());
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!fs::exists(unit_ / "headunit.json") && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(fs::exists(unit_ / "headunit.json")) << Text("demo.err");
        Start("watch", "watch " + unit_.string() + " --json --timeout 120");
    }

    fs::path work_, unit_;
    ChildProcesses children_;
};

std::vector<std::string> PagesInOrder(const std::vector<Json>& events) {
    std::vector<std::string> pages;
    for (const auto& e : events)
        if (e.at("event") == "page" && e.value("program", "") == "UpdateXan") pages.push_back(e.at("page"));
    return pages;
}

TEST_F(WatchRun, FollowsASuccessfulUpdateToItsResult) {
    DemoAndWatcher("");
    ASSERT_EQ(Wait("watch", 240s), 0) << Text("watch.json") << Text("watch.err");
    ASSERT_EQ(Wait("demo", 240s), 0) << Text("demo.err");

    const auto watched = Events("watch");
    ASSERT_FALSE(watched.empty());
    EXPECT_EQ(watched.back().at("event"), "result");
    EXPECT_EQ(watched.back().at("result"), "success");
    // The step pages in the updater's order; the main page comes first unless the watcher
    // started after it showed (then it is there from the first look all the same).
    const auto pages = PagesInOrder(watched);
    const std::vector<std::string> steps = {"os-update", "mcu-update", "bluetooth-update"};
    std::vector<std::string> seenSteps;
    for (const auto& p : pages)
        if (p != "main" && p != "message-box") seenSteps.push_back(p);
    EXPECT_EQ(seenSteps, steps) << Text("watch.json");
    bool progressed = false, installer = false;
    double last = 0;
    for (const auto& e : watched) {
        EXPECT_GE(e.at("time").get<double>(), last) << "events come in time order";
        last = e.at("time").get<double>();
        progressed |= e.at("event") == "progress" && e.value("page", "") == "mcu-update";
        installer |= e.value("program", "") == "ZEK_Update";
    }
    EXPECT_TRUE(progressed) << "the MCU page's bar moves";
    EXPECT_TRUE(installer) << "the panel installer runs beside";

    // The demo's own JSON: notes, the update's result, every check, and its result last.
    const auto demo = Events("demo");
    ASSERT_FALSE(demo.empty());
    EXPECT_EQ(demo.back().at("event"), "result");
    EXPECT_EQ(demo.back().at("result"), "success");
    int checks = 0;
    bool updateResult = false;
    for (const auto& e : demo) {
        checks += e.at("event") == "check" && e.at("passed") == true ? 1 : 0;
        updateResult |= e.at("event") == "update-result" && e.at("result") == "success";
    }
    EXPECT_GE(checks, 10);
    EXPECT_TRUE(updateResult);
    EXPECT_NE(Text("demo.err").find("every check passed"), std::string::npos) << "the summary goes to stderr";
}

TEST_F(WatchRun, AFailedUpdateEndsWithExitStatus1) {
    DemoAndWatcher("--fault kernel-checksum");
    ASSERT_EQ(Wait("watch", 240s), 1) << Text("watch.json") << Text("watch.err");
    ASSERT_EQ(Wait("demo", 240s), 1) << Text("demo.err");
    const auto watched = Events("watch");
    ASSERT_FALSE(watched.empty());
    EXPECT_EQ(watched.back().at("result"), "failure");
    const auto demo = Events("demo");
    ASSERT_FALSE(demo.empty());
    EXPECT_EQ(demo.back().at("result"), "failure");
}

TEST_F(WatchRun, NothingRunningEndsWithExitStatus2) {
    sim::createHeadUnit(unit_, sim::HeadUnitOptions{});
    Start("watch", "watch " + unit_.string() + " --json --timeout 0.3");
    ASSERT_EQ(Wait("watch", 60s), 2) << Text("watch.err");
    const auto watched = Events("watch");
    ASSERT_EQ(watched.size(), 1u) << Text("watch.json");
    EXPECT_EQ(watched[0].at("result"), "nothing ran");

    Start("bad", "watch " + unit_.string() + " --timeout soon");
    EXPECT_EQ(Wait("bad", 30s), 2);
    EXPECT_NE(Text("bad.err").find("--timeout"), std::string::npos);
    Start("none", "watch " + (work_ / "nowhere").string());
    EXPECT_EQ(Wait("none", 30s), 2);
}

}  // namespace
}  // namespace hu::demo
