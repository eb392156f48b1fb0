// ZEK.cfg: the 8-byte record, defaults, short and odd files, and a save that cannot leave a
// short or linked file behind.

#include <gtest/gtest.h>

#include <fstream>

#include "panel/config/zek_config.h"
#include "panel/tests/test_support.h"
#include "platform/core/files.h"

namespace panel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(folder());
        fs::create_directories(folder());
        g_ConfigInfo = ConfigInfo{};  // as at program start
    }
    static fs::path folder() { return testing::HeadUnit().nand() / "ZEK"; }
    static fs::path file() { return folder() / "ZEK.cfg"; }
    static void write(const Bytes& bytes) {
        std::ofstream out(file(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    static Bytes read() {
        std::ifstream in(file(), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(ConfigFile, MissingFileIsCreatedExpandedAndVertical) {
    InitConfig();
    EXPECT_EQ(read(), (Bytes{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(IsExpanded());
    EXPECT_FALSE(IsHorizontal());
    EXPECT_FALSE(fs::exists(folder() / "ZEK.cfg.new"));
}

TEST_F(ConfigFile, WithoutTheFolderTheDefaultsStayInMemory) {
    fs::remove_all(folder());
    g_ConfigInfo.m_nScreenType = 5;
    InitConfig();
    EXPECT_EQ(g_ConfigInfo.m_nScreenType, 0);
    EXPECT_TRUE(IsExpanded());
    EXPECT_FALSE(fs::exists(file()));
}

TEST_F(ConfigFile, ShortFilesOverwriteOnlyTheBytesTheyHave) {
    write({});
    InitConfig();  // an empty file starts like a missing one, and is not rewritten
    EXPECT_TRUE(IsExpanded());
    EXPECT_FALSE(IsHorizontal());
    EXPECT_TRUE(read().empty());

    g_ConfigInfo.m_nScreenType = 1;
    write({0});
    ASSERT_TRUE(LoadConfig());
    EXPECT_FALSE(IsExpanded());
    EXPECT_EQ(g_ConfigInfo.m_nScreenType, 1);

    write({1, 9, 9, 9, 0x02, 0x01});  // six bytes: the low half of the screen type
    ASSERT_TRUE(LoadConfig());
    EXPECT_EQ(g_ConfigInfo.m_bOnOff, 1);
    EXPECT_EQ(g_ConfigInfo.m_nScreenType, 0x0102);
    EXPECT_EQ(ConfigBytes(g_ConfigInfo), (std::array<uint8_t, 8>{1, 9, 9, 9, 2, 1, 0, 0}));
}

TEST_F(ConfigFile, OddValuesCountAsSetAndPaddingIsWrittenBackAsRead) {
    write({0x7F, 0xAB, 0xCD, 0xEF, 0x02, 0, 0, 0x80, 0x55});  // a ninth byte is not read
    InitConfig();
    EXPECT_TRUE(IsExpanded());
    EXPECT_TRUE(IsHorizontal());
    EXPECT_EQ(g_ConfigInfo.m_nScreenType, static_cast<int32_t>(0x80000002u));
    g_ConfigInfo.m_bOnOff = 0;
    ASSERT_TRUE(SaveConfig());
    EXPECT_EQ(read(), (Bytes{0, 0xAB, 0xCD, 0xEF, 0x02, 0, 0, 0x80}));
}

TEST_F(ConfigFile, LoadFailuresLeaveTheRecordAlone) {
    g_ConfigInfo.m_bOnOff = 0;
    g_ConfigInfo.m_nScreenType = 1;
    EXPECT_FALSE(LoadConfig());  // missing
    fs::create_directory(file());
    EXPECT_FALSE(LoadConfig());  // a folder of that name
    EXPECT_FALSE(SaveConfig());
    EXPECT_EQ(g_ConfigInfo.m_bOnOff, 0);
    EXPECT_EQ(g_ConfigInfo.m_nScreenType, 1);
    EXPECT_FALSE(fs::exists(folder() / "ZEK.cfg.new"));
}

TEST_F(ConfigFile, SaveReplacesTheFileInOneStepAndNeverWritesThroughALink) {
    write({1, 0, 0, 0, 0, 0, 0, 0});
    const fs::path elsewhere = testing::HeadUnit().root() / "elsewhere.bin";
    { std::ofstream(elsewhere) << "keep me"; }
    fs::remove(file());
    fs::create_symlink(elsewhere, file());
    g_ConfigInfo.m_nScreenType = 1;
    ASSERT_TRUE(SaveConfig());
    EXPECT_FALSE(fs::is_symlink(file()));
    EXPECT_EQ(read(), (Bytes{1, 0, 0, 0, 1, 0, 0, 0}));
    std::ifstream kept(elsewhere);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep me");

    // A read-only file is kept as it is; the choice lives on in memory.
    ASSERT_EQ(ce::setFileAttributes(kConfigFilePath, ce::FILE_ATTRIBUTE_READONLY), ce::ERROR_SUCCESS);
    g_ConfigInfo.m_nScreenType = 0;
    EXPECT_FALSE(SaveConfig());
    EXPECT_EQ(read(), (Bytes{1, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_FALSE(fs::exists(folder() / "ZEK.cfg.new"));
    ASSERT_EQ(ce::setFileAttributes(kConfigFilePath, ce::FILE_ATTRIBUTE_NORMAL), ce::ERROR_SUCCESS);
}

}  // namespace
}  // namespace panel
