// One simulator of each kind per head unit: a second one says which process runs it and
// leaves the first one's serial link alone.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "sim/headunit/headunit.h"
#include "tools/hu/tests/run_command.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string readText(const fs::path& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool waitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

TEST(SingleSimulator, ASecondOneSaysWhatRunsAndLeavesTheFirstAlone) {
    sim::TempHeadUnit unit;
    const fs::path dir = unit.root();
    struct Kind {
        std::string name;
        std::string link;  // the serial link it serves, if any
    };
    for (const Kind& kind : {Kind{"mcu", "dev/COM5"}, Kind{"bluetooth", "dev/COM2"}, Kind{"shell", ""}, Kind{"navigation", ""}}) {
        hu::testing::Background first({std::string(HU_BIN_DIR) + "/hu", "sim", dir.string(), kind.name});
        const fs::path lock = dir / "run" / ("sim-" + kind.name + ".lock");
        ASSERT_TRUE(waitFor([&] { return readText(lock) == std::to_string(first.pid()); })) << kind.name;
        if (!kind.link.empty()) {
            ASSERT_TRUE(waitFor([&] { return fs::is_symlink(dir / kind.link); })) << kind.name;
        }
        const fs::path target = kind.link.empty() ? fs::path() : fs::read_symlink(dir / kind.link);

        auto second = hu::testing::runCommand(hu::testing::hu("sim " + dir.string() + " " + kind.name), "", 20);
        EXPECT_EQ(second.status, 1) << kind.name << ": " << second.err;
        EXPECT_EQ(second.err, "hu sim: a " + kind.name + " simulator already runs on " + dir.string() + " (pid " +
                                  std::to_string(first.pid()) + ")\n");
        EXPECT_TRUE(first.running()) << kind.name;
        if (!kind.link.empty()) {
            ASSERT_TRUE(fs::is_symlink(dir / kind.link)) << kind.name;
            EXPECT_EQ(fs::read_symlink(dir / kind.link), target) << kind.name;
        }
    }
}

// A second demo on a folder the first one uses is refused in one line; the first goes on.
TEST(SingleDemo, ASecondDemoInTheSameFolderIsRefused) {
    char templ[] = "/tmp/hu-demo-twice-XXXXXX";
    const fs::path dir = fs::path(::mkdtemp(templ)) / "unit";
    hu::testing::Background first({std::string(HU_BIN_DIR) + "/hu", "demo", dir.string(), "--small"});
    ASSERT_TRUE(waitFor([&] { return fs::exists(dir / "headunit.json"); }));
    auto second = hu::testing::runCommand(hu::testing::hu("demo " + dir.string() + " --small"), "", 60);
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.err, "hu demo: " + dir.string() + " is in use by another hu demo\n");
    EXPECT_TRUE(first.running());
    EXPECT_EQ(first.stop(SIGINT), 130);
    std::error_code ec;
    fs::remove_all(dir.parent_path(), ec);
}

}  // namespace
