// The registry: reading registry.reg, result codes, writes, and several writers at once.

#include "platform/core/registry.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/core/reg_file.h"
#include "sim/headunit/headunit.h"

namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string utf16File(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += char(c & 0xFF);
        bytes += char(c >> 8);
    }
    return bytes;
}

const char* const kSample =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; values the programs read\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV\\SYSTEM\\FactoryInfo]\r\n"
    "\"CodePage\"=dword:000004e3\r\n"
    "\"Path\"=\"C:\\\\dir\\\\\\\"q\\\"\"\r\n"
    "@=\"default\"\r\n"
    "\"Blob\"=hex:01,02,\\\r\n"
    "  ff\r\n"
    "\"Multi\"=hex(7):41,00,00,00,42,00,00,00,00,00\r\n"
    "\"Gone\"=\"x\"\r\n"
    "\"Gone\"=-\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Old\\Sub]\r\n"
    "\"v\"=dword:1\r\n"
    "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { writeFile(unit.root() / "registry.reg", kSample); }
    sim::TempHeadUnit unit;
};

TEST_F(RegistryTest, ReadsTypedValuesInDeviceForm) {
    auto key = ce::RegKey::open(ce::Hive::LocalMachine, "\\software\\orv\\system\\FACTORYINFO");
    ASSERT_TRUE(key.ok()) << key.error();
    EXPECT_EQ(key->readDword("codepage").valueOr(0), 1251u);
    EXPECT_EQ(key->readString("Path").valueOr(u"?"), u"C:\\dir\\\"q\"");
    EXPECT_EQ(key->readString("").valueOr(u"?"), u"default");

    uint32_t type = 0;
    uint8_t bytes[16];
    uint32_t size = sizeof bytes;
    ASSERT_EQ(key->queryValue("Blob", &type, bytes, &size), ce::ERROR_SUCCESS);
    EXPECT_EQ(type, ce::REG_BINARY);
    ASSERT_EQ(size, 3u);
    EXPECT_EQ(bytes[2], 0xFF);
    ASSERT_EQ(key->queryValue("Multi", &type, nullptr, &size), ce::ERROR_SUCCESS);
    EXPECT_EQ(type, ce::REG_MULTI_SZ);
    EXPECT_EQ(size, 10u);

    // A string is UTF-16LE with its terminator: "default" is 16 bytes.
    ASSERT_EQ(key->queryValue("", &type, nullptr, &size), ce::ERROR_SUCCESS);
    EXPECT_EQ(type, ce::REG_SZ);
    EXPECT_EQ(size, 16u);
}

TEST_F(RegistryTest, ResultCodesForMissingWrongTypeAndSmallBuffers) {
    EXPECT_EQ(ce::RegKey::open(ce::Hive::LocalMachine, "SOFTWARE\\Nope").error(), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ce::RegKey::open(ce::Hive::LocalMachine, "SOFTWARE\\Old\\Sub").error(), ce::ERROR_FILE_NOT_FOUND);
    auto key = ce::RegKey::open(ce::Hive::LocalMachine, "SOFTWARE\\ORV\\SYSTEM\\FactoryInfo");
    ASSERT_TRUE(key.ok());

    uint32_t type = 0, size = 4;
    uint8_t bytes[4];
    EXPECT_EQ(key->queryValue("Gone", &type, bytes, &size), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key->readDword("Missing").error(), ce::ERROR_FILE_NOT_FOUND);

    // Too small: nothing copied, the size needed reported.
    size = 4;
    std::memset(bytes, 0xAA, sizeof bytes);
    EXPECT_EQ(key->queryValue("Path", &type, bytes, &size), ce::ERROR_MORE_DATA);
    EXPECT_EQ(size, 22u);
    EXPECT_EQ(bytes[0], 0xAA);

    EXPECT_EQ(key->readDword("Path").error(), ce::ERROR_INVALID_DATA);
    EXPECT_EQ(key->readString("CodePage").error(), ce::ERROR_INVALID_DATA);
    EXPECT_EQ(key->readDword("Blob").error(), ce::ERROR_INVALID_DATA);
}

TEST_F(RegistryTest, ReadsAUtf16File) {
    writeFile(unit.root() / "registry.reg",
              utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Kelo]\r\n"
                        u"\"Name\"=\"로컬 응용\"\r\n\"n\"=dword:0000002a\r\n"));
    auto key = ce::RegKey::open(ce::Hive::CurrentUser, "Software\\Kelo");
    ASSERT_TRUE(key.ok());
    EXPECT_EQ(key->readString("Name").valueOr(u""), u"로컬 응용");
    EXPECT_EQ(key->readDword("n").valueOr(0), 42u);

    // A write keeps the file UTF-16LE.
    ASSERT_EQ(key->setDword("n", 7), ce::ERROR_SUCCESS);
    std::string bytes = readFile(unit.root() / "registry.reg");
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(ce::reg::parse(bytes).document.find("HKCU\\Software\\Kelo")->find("n")->value.data[0], 7);
}

TEST_F(RegistryTest, WritesSurviveAReReadAndKeepTheOtherValues) {
    auto key = ce::RegKey::create(ce::Hive::CurrentUser, "Software\\로컬 응용 프로그램\\Kelo_ZEK\\data");
    ASSERT_TRUE(key.ok()) << key.error();
    ASSERT_EQ(key->setDword("hwnd", 0x10002), ce::ERROR_SUCCESS);
    ASSERT_EQ(key->setString("Text", u"line \"quoted\" \\ end"), ce::ERROR_SUCCESS);
    const uint8_t odd[] = {'a', 0, '\n', 0, 0, 0};  // a line end: kept through a hex(1) list
    ASSERT_EQ(key->setValue("Odd", ce::REG_SZ, odd, sizeof odd), ce::ERROR_SUCCESS);

    // What another process would read: the file alone.
    ce::reg::ParseResult parsed = ce::reg::parse(readFile(unit.root() / "registry.reg"));
    EXPECT_TRUE(parsed.errors.empty());
    const ce::reg::Key* stored = parsed.document.find("HKEY_CURRENT_USER\\Software\\로컬 응용 프로그램\\Kelo_ZEK\\data");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->find("hwnd")->value.data, (std::vector<uint8_t>{2, 0, 1, 0}));
    EXPECT_EQ(stored->find("Odd")->value.data, std::vector<uint8_t>(odd, odd + sizeof odd));
    EXPECT_EQ(parsed.document.find("HKLM\\SOFTWARE\\ORV\\SYSTEM\\FactoryInfo")->find("Blob")->value.data.size(), 3u);
    EXPECT_EQ(key->readString("Text").valueOr(u""), u"line \"quoted\" \\ end");

    EXPECT_EQ(key->setDword("bad\nname", 1), ce::ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, SeesChangesMadeOnDisk) {
    auto key = ce::RegKey::open(ce::Hive::LocalMachine, "SOFTWARE\\ORV\\SYSTEM\\FactoryInfo");
    ASSERT_TRUE(key.ok());
    EXPECT_EQ(key->readDword("CodePage").valueOr(0), 1251u);
    writeFile(unit.root() / "registry.reg",
              "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV\\SYSTEM\\FactoryInfo]\n\"CodePage\"=dword:000003b5\n");
    EXPECT_EQ(key->readDword("CodePage").valueOr(0), 949u);
}

// A file that cannot be read whole is neither read (it is not a registry without values) nor
// written back (its other lines would be lost), and the problem names the line.
TEST_F(RegistryTest, AFileThatCannotBeReadWholeIsRefused) {
    auto key = ce::RegKey::open(ce::Hive::LocalMachine, "SOFTWARE\\ORV\\SYSTEM\\FactoryInfo");
    ASSERT_TRUE(key.ok());
    EXPECT_EQ(ce::registryProblem(), "");
    const std::string broken = std::string(kSample) + "[HKEY_LOCAL_MACHINE\\X]\n\"n\"=dword:zz\n\"ok\"=dword:5\n";
    writeFile(unit.root() / "registry.reg", broken);
    EXPECT_EQ(ce::RegKey::open(ce::Hive::LocalMachine, "X").error(), ce::ERROR_BADDB);
    EXPECT_EQ(key->readDword("CodePage").error(), ce::ERROR_BADDB);
    EXPECT_EQ(key->setDword("m", 1), ce::ERROR_BADDB);
    EXPECT_EQ(readFile(unit.root() / "registry.reg"), broken);
    EXPECT_EQ(ce::registryProblem(), (unit.root() / "registry.reg").string() + ": line 18: dword: needs 1 to 8 hex digits");

    for (const std::string& damaged : {std::string(), std::string("\r\n \r\n"), std::string(kSample).substr(0, 170)}) {
        writeFile(unit.root() / "registry.reg", damaged);
        EXPECT_EQ(key->readDword("CodePage").error(), ce::ERROR_BADDB) << damaged;
        EXPECT_NE(ce::registryProblem(), "") << damaged;
    }
    fs::remove(unit.root() / "registry.reg");
    EXPECT_EQ(key->readDword("CodePage").error(), ce::ERROR_BADDB);
    EXPECT_EQ(ce::RegKey::create(ce::Hive::LocalMachine, "New").error(), ce::ERROR_BADDB);
    EXPECT_FALSE(fs::exists(unit.root() / "registry.reg"));
    fs::create_directory(unit.root() / "registry.reg");
    EXPECT_EQ(ce::registryProblem(), (unit.root() / "registry.reg").string() + " is a folder, not a file");
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
    constexpr int kWriters = 3;
    constexpr int kValues = 20;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = fork();
        if (pid == 0) {
            auto key = ce::RegKey::create(ce::Hive::CurrentUser, "Software\\Race");
            int failures = key.ok() ? 0 : 1;
            for (int i = 0; i < kValues && key.ok(); ++i)
                failures += key->setDword("w" + std::to_string(w) + "_" + std::to_string(i), uint32_t(i)) != ce::ERROR_SUCCESS;
            _exit(failures);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto key = ce::RegKey::open(ce::Hive::CurrentUser, "Software\\Race");
    ASSERT_TRUE(key.ok());
    for (int w = 0; w < kWriters; ++w)
        for (int i = 0; i < kValues; ++i)
            EXPECT_EQ(key->readDword("w" + std::to_string(w) + "_" + std::to_string(i)).valueOr(999), uint32_t(i));
    EXPECT_EQ(key->readDword("CodePage").error(), ce::ERROR_FILE_NOT_FOUND);  // other keys untouched
    EXPECT_TRUE(ce::RegKey::open(ce::Hive::LocalMachine, "SOFTWARE\\ORV\\SYSTEM\\FactoryInfo").ok());
}

TEST(RegFile, ReportsUnreadableLinesByNumber) {
    auto result = ce::reg::parse(
        "REGEDIT4\n\"early\"=dword:1\n[HKEY_NOWHERE\\A]\n[HKLM\\A]\n\"s\"=\"open\n\"h\"=hex:1,2,300\n\"ok\"=hex(2):41,00\njunk\n");
    ASSERT_EQ(result.errors.size(), 5u);
    EXPECT_EQ(result.errors[0].rfind("line 2:", 0), 0u);
    EXPECT_EQ(result.errors[4].rfind("line 8:", 0), 0u);
    EXPECT_EQ(result.document.find("HKLM\\A")->find("ok")->value.type, ce::REG_EXPAND_SZ);
    EXPECT_FALSE(ce::reg::parse("not a registry\n[HKLM\\A]\n").errors.empty());
}

TEST(RegFile, WritingAndReadingKeepsEveryValue) {
    auto parsed = ce::reg::parse(kSample);
    ASSERT_TRUE(parsed.errors.empty());
    ce::reg::Document& doc = parsed.document;
    doc.create("HKCU\\Empty");  // an empty key survives too
    doc.find("HKLM\\SOFTWARE\\ORV\\SYSTEM\\FactoryInfo")->set("Long", {ce::REG_BINARY, std::vector<uint8_t>(100, 0x5A)});
    auto again = ce::reg::parse(ce::reg::format(doc));
    EXPECT_TRUE(again.errors.empty());
    EXPECT_EQ(again.document, doc);
    EXPECT_NE(again.document.find("HKEY_CURRENT_USER\\EMPTY"), nullptr);
}

}  // namespace
