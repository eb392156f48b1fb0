// The default head unit: what the programs find at start-up, and the options that change it.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/core/paths.h"
#include "platform/core/profile.h"
#include "sim/headunit/headunit.h"

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(HeadUnit, DefaultLayoutLoadsAsAProfile) {
    sim::TempHeadUnit hu;
    for (const char* folder : {"sdcard", "nand", "dev", "flash", "run", "log"})
        EXPECT_TRUE(fs::is_directory(hu.root() / folder)) << folder;

    auto profile = ce::Profile::load(hu.root());
    ASSERT_TRUE(profile.ok());
    EXPECT_EQ(profile->ansiCodePage(), 949u);
    EXPECT_EQ(profile->serialDevice("COM5:"), hu.root() / "dev/COM5");
    EXPECT_EQ(profile->serialDevice("COM2:"), hu.root() / "dev/COM2");
    EXPECT_EQ(profile->driverBackend("DSK1:"), (fs::path(HU_LIB_DIR) / "libsim_drivers.so").lexically_normal());
    EXPECT_EQ(profile->driverBackend("ORV1:"), profile->driverBackend("OEM"));
    for (const char* section : {"board", "nand", "mcu", "bluetooth"}) EXPECT_TRUE(profile->json()["sim"].contains(section));

    EXPECT_EQ(*ce::hostPath("\\SDMMC Card\\x"), hu.root() / "sdcard/x");
    EXPECT_EQ(std::getenv("HEADUNIT_ROOT"), hu.root().string());
}

TEST(HeadUnit, RegistryHoldsTheStartUpValues) {
    std::string text = sim::registryText({});
    for (const char* line : {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV\\SYSTEM\\FactoryInfo]\r\n", "\"CodePage\"=dword:000003b5\r\n",
                             "\"SrcInfo\"=dword:00000004\r\n", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV\\SYSTEM\\VERSION]\r\n",
                             "\"OS\"=\"1.0.0\"\r\n", "\"MICOM\"=\"1.0.0\"\r\n", "\"BLUETOOTH\"=\"1.0.0\"\r\n",
                             "[HKEY_LOCAL_MACHINE\\Platform\\OS]\r\n", "\"ModelName\"=\"U0\"\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
}

TEST(HeadUnit, OptionsChangeOrLeaveOutValues) {
    sim::HeadUnitOptions o;
    o.codePage = 1251;
    o.srcInfo.reset();
    o.micomVersion.reset();
    o.osVersion = "a\"b\\c";
    o.modelName = "U1";
    sim::TempHeadUnit hu(o);
    std::string text = readAll(hu.root() / "registry.reg");
    EXPECT_NE(text.find("\"CodePage\"=dword:000004e3"), std::string::npos);
    EXPECT_EQ(text.find("SrcInfo"), std::string::npos);
    EXPECT_EQ(text.find("MICOM"), std::string::npos);
    EXPECT_NE(text.find("\"OS\"=\"a\\\"b\\\\c\""), std::string::npos);
    EXPECT_NE(text.find("\"ModelName\"=\"U1\""), std::string::npos);
    // The ANSI code page follows the registry's unless given.
    EXPECT_EQ((*ce::Profile::current())->ansiCodePage(), 1251u);
}

TEST(HeadUnit, SerialLinksPointAtRealTtys) {
    sim::HeadUnitOptions o;
    o.serialLinks["COM5"] = "/dev/ttyUSB0";
    o.serialLinks["COM7:"] = "/dev/ttyUSB1";
    sim::TempHeadUnit hu(o);
    EXPECT_EQ(fs::read_symlink(hu.root() / "dev/COM5"), "/dev/ttyUSB0");
    auto profile = ce::Profile::current();
    EXPECT_EQ((*profile)->serialDevice("COM7:"), hu.root() / "dev/COM7");

    o.serialLinks = {{"../x", "/dev/null"}};
    EXPECT_THROW(sim::createHeadUnit(hu.root() / "other", o), std::runtime_error);
}

TEST(HeadUnit, TempHeadUnitRestoresTheEnvironment) {
    setenv("HEADUNIT_ROOT", "/nonexistent-head-unit", 1);
    fs::path root;
    {
        sim::TempHeadUnit hu;
        root = hu.root();
        fs::create_directories(hu.root() / "sdcard/a/b");
    }
    EXPECT_FALSE(fs::exists(root));
    EXPECT_STREQ(std::getenv("HEADUNIT_ROOT"), "/nonexistent-head-unit");
    EXPECT_FALSE(ce::Profile::current().ok());
    unsetenv("HEADUNIT_ROOT");
    ce::Profile::resetCurrent();
}

}  // namespace
