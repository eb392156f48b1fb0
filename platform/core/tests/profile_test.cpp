// Loading headunit.json: the agreed format, defaults, and documents that must not load.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>

#include "platform/core/profile.h"
#include "platform/core/text.h"
#include "sim/headunit/headunit.h"

namespace fs = std::filesystem;

namespace {

struct Folder {
    fs::path path;
    Folder() {
        char templ[] = "/tmp/hu-profile-XXXXXX";
        path = mkdtemp(templ);
    }
    ~Folder() { fs::remove_all(path); }
    void write(const std::string& json) const { std::ofstream(path / "headunit.json") << json; }
};

TEST(Profile, LoadsTheAgreedFormat) {
    Folder f;
    f.write(R"({"ansiCodePage": 1251, "screen": {"width": 1024, "height": 600},
                "mounts": [{"device": "\\SDMMC Card\\", "host": "sdcard"}, {"device": "NAND Flash", "host": "/abs/nand"}],
                "serial": {"COM5:": "dev/COM5", "com2:": "/dev/ttyUSB0"},
                "drivers": {"DSK1:": "lib/x.so"}, "sim": {"mcu": {"slowErase": true}}})");
    auto p = ce::Profile::load(f.path);
    ASSERT_TRUE(p.ok()) << p.error();
    EXPECT_EQ(p->ansiCodePage(), 1251u);
    EXPECT_EQ(p->screenWidth(), 1024);
    ASSERT_EQ(p->mounts().size(), 2u);
    EXPECT_EQ(p->mounts()[0].devicePath, "\\SDMMC Card");
    EXPECT_EQ(p->mounts()[0].host, f.path / "sdcard");
    EXPECT_EQ(p->mounts()[1].devicePath, "\\NAND Flash");
    EXPECT_EQ(p->mounts()[1].host, "/abs/nand");
    EXPECT_EQ(p->serialDevice("com5:"), f.path / "dev/COM5");
    EXPECT_EQ(p->serialDevice("COM2:"), "/dev/ttyUSB0");
    EXPECT_EQ(p->serialDevice("COM9:"), "");
    EXPECT_EQ(p->driverBackend("dsk1:"), (f.path / "lib/x.so").string());
    EXPECT_EQ(p->driverBackend("ORV1:"), "");
    EXPECT_TRUE(p->json()["sim"]["mcu"]["slowErase"].get<bool>());
}

TEST(Profile, DefaultsAndBadDocuments) {
    Folder f;
    f.write("{}");
    auto p = ce::Profile::load(f.path);
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(p->ansiCodePage(), 949u);
    EXPECT_EQ(p->screenWidth(), 800);
    EXPECT_TRUE(p->mounts().empty());

    for (const char* bad : {"", "[1]", "{\"ansiCodePage\": \"949\"}", "{\"mounts\": [{\"device\": \"\\\\A\"}]}",
                            "{\"mounts\": [{\"device\": \"\\\\A\", \"host\": \"a\"}, {\"device\": \"\\\\a\", \"host\": \"b\"}]}",
                            "{\"screen\": {\"width\": 0}}", "{\"serial\": {\"COM1:\": 5}}"}) {
        f.write(bad);
        EXPECT_EQ(ce::Profile::load(f.path).error(), ce::ERROR_INVALID_DATA) << bad;
    }
    EXPECT_EQ(ce::Profile::load(f.path / "missing").error(), ce::ERROR_PATH_NOT_FOUND);
    fs::remove(f.path / "headunit.json");
    fs::create_directory(f.path / "headunit.json");
    std::string problem;
    EXPECT_EQ(ce::Profile::load(f.path, &problem).error(), ce::ERROR_CANT_ACCESS_FILE);
    EXPECT_EQ(problem, (f.path / "headunit.json").string() + " is a folder, not a file");
    fs::remove(f.path / "headunit.json");
    fs::remove(f.path / "headunit.json");
    EXPECT_EQ(ce::Profile::load(f.path).error(), ce::ERROR_FILE_NOT_FOUND);
}

// The one line a refusal comes with says what is wrong and on which line.
TEST(Profile, ARefusalNamesTheFileAndTheLine) {
    std::string problem;
    auto refused = [&](const char* document) {
        problem.clear();
        EXPECT_FALSE(ce::Profile::parse("/hu", document, &problem).ok()) << document;
        return problem;
    };
    EXPECT_EQ(refused("{\n\"a\": 1,\n\"b\": }\n"),
              "headunit.json: syntax error while parsing value - unexpected '}'; expected '[', '{', or a literal, line 3");
    EXPECT_EQ(refused("{\n  \"screen\": {\"width\": 0}\n}"), "headunit.json: \"screen\" needs a width and height above 0, line 2");
    EXPECT_EQ(refused("{\n\n  \"serial\": {\"COM1:\": 5}}"),
              "headunit.json: \"serial\" has the wrong shape (type must be string, but is number), line 3");
    EXPECT_EQ(refused("[]"), "headunit.json: the document must be an object {...}, line 1");
}

TEST(Profile, CurrentFollowsHeadunitRoot) {
    {
        sim::TempHeadUnit hu;
        auto current = ce::Profile::current();
        ASSERT_TRUE(current.ok());
        EXPECT_EQ((*current)->root(), hu.root());
        EXPECT_EQ(ce::ansiCodePage(), 949u);
    }
    // Outside a head unit every call that needs one fails, and the code page has its default.
    const char* saved = std::getenv("HEADUNIT_ROOT");
    std::string keep = saved ? saved : "";
    unsetenv("HEADUNIT_ROOT");
    ce::Profile::resetCurrent();
    EXPECT_FALSE(ce::Profile::current().ok());
    EXPECT_EQ(ce::ansiCodePage(), 949u);
    if (saved) setenv("HEADUNIT_ROOT", keep.c_str(), 1);
    ce::Profile::resetCurrent();
}

}  // namespace
