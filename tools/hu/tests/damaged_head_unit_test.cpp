// A damaged head unit is not an empty one: a registry.reg or headunit.json that cannot be read
// whole stops the programs before they do anything and makes every hu command name the file
// and the line, never abort.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/headunit/headunit.h"
#include "tools/hu/tests/run_command.h"

namespace {

namespace fs = std::filesystem;
using hu::testing::hu;
using hu::testing::runCommand;

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

class DamagedHeadUnit : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/hu-damaged-XXXXXX";
        dir = ::mkdtemp(templ);
        sim::createHeadUnit(dir);
        writeFile(dir / "nand" / "keep.txt", "installed");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path dir;
};

// Truncated, garbage, empty, missing or a folder: the updater shows no page, empties nothing
// and says in its log and on stderr which file is damaged where.
TEST_F(DamagedHeadUnit, TheUpdaterDoesNothingOnADamagedRegistry) {
    const std::string good = sim::registryText({});
    const std::string truncated = good.substr(0, good.find("\"OS\"=\"1.0") + 9);
    struct Case {
        const char* what;
        std::function<void()> damage;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"truncated", [&] { writeFile(dir / "registry.reg", truncated); }, "registry.reg: line "},
        {"garbage", [&] { writeFile(dir / "registry.reg", "\x7f" "ELF\x02\x01\x01 garbage\n"); }, "registry.reg: line 1:"},
        {"empty", [&] { writeFile(dir / "registry.reg", ""); }, "registry.reg: line 1: the file is empty"},
        {"missing", [&] { fs::remove(dir / "registry.reg"); }, "registry.reg is missing"},
        {"a folder", [&] { fs::create_directory(dir / "registry.reg"); }, "registry.reg is a folder"},
    };
    for (const auto& c : cases) {
        std::error_code ec;
        fs::remove_all(dir / "registry.reg", ec);
        c.damage();
        auto run = runCommand(hu::testing::program("UpdateXan"), "HEADUNIT_ROOT=" + dir.string(), 30);
        EXPECT_EQ(run.status, 1) << c.what << ": " << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.what << ": " << run.err;
        EXPECT_NE(run.err.find("registry is damaged"), std::string::npos) << c.what << ": " << run.err;
        EXPECT_TRUE(fs::exists(dir / "nand" / "keep.txt")) << c.what;
        std::ifstream log(dir / "log" / "UpdateXan.log");
        std::string logText((std::istreambuf_iterator<char>(log)), {});
        EXPECT_NE(logText.find(c.says), std::string::npos) << c.what;
        EXPECT_EQ(logText.find("emergency"), std::string::npos) << c.what;
        fs::remove(dir / "log" / "UpdateXan.log", ec);
    }
    // The line of a broken value is the one named.
    fs::remove_all(dir / "registry.reg");
    writeFile(dir / "registry.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV\\SYSTEM\\VERSION]\n\"OS\"=\"1.0\n");
    auto run = runCommand(hu("mcu-flash " + dir.string()));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("registry.reg: line 4: the string has no closing quote"), std::string::npos) << run.err;
}

// headunit.json invalid, of the wrong shape or a folder: one line naming the file (and the
// line where it can), from the programs and from every hu command; no abort, no success.
TEST_F(DamagedHeadUnit, EveryCommandNamesABrokenHeadunitJson) {
    const std::string d = dir.string();
    const std::vector<std::string> commands = {
        hu("ctl " + d + " list"),  hu("mcu-flash " + d),        hu("bt-dfu " + d),
        hu("board " + d),          hu("flash " + d + " dump bootloader " + d + "/out.bin"),
        hu("package " + d),        hu("sim " + d + " mcu"),     hu::testing::program("UpdateXan"),
    };
    struct Case {
        const char* what;
        std::function<void()> damage;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"not JSON", [&] { writeFile(dir / "headunit.json", "{\n  \"ansiCodePage\": 949,\n  \"mounts\": [}\n}\n"); },
         "headunit.json: "},
        {"wrong shape", [&] { writeFile(dir / "headunit.json", "{\n  \"ansiCodePage\": 949,\n  \"mounts\": 7\n}\n"); },
         "headunit.json: \"mounts\" must be a list"},
        {"a folder", [&] { fs::create_directory(dir / "headunit.json"); }, "headunit.json is a folder"},
    };
    for (const auto& c : cases) {
        std::error_code ec;
        fs::remove_all(dir / "headunit.json", ec);
        c.damage();
        for (const auto& command : commands) {
            auto run = runCommand(command, "HEADUNIT_ROOT=" + d, 30);
            EXPECT_EQ(run.status, 1) << c.what << ": " << command << ": " << run.err;
            EXPECT_NE(run.err.find(c.says), std::string::npos) << c.what << ": " << command << ": " << run.err;
            if (std::string(c.what) != "a folder") {
                EXPECT_NE(run.err.find(", line 3"), std::string::npos) << c.what << ": " << command << ": " << run.err;
            }
            EXPECT_EQ(run.err.find("is no head unit"), std::string::npos) << command << ": " << run.err;
        }
    }
    EXPECT_FALSE(fs::exists(dir / "out.bin"));
}

}  // namespace
