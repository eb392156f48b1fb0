// `hu package` on a card that already holds a package: a refused or failed run leaves the card
// exactly as it was, inputs are read as streams, and nothing is written through a link.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "sim/headunit/headunit.h"
#include "tools/hu/tests/run_command.h"

namespace {

namespace fs = std::filesystem;
using hu::testing::hu;
using hu::testing::runCommand;

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeText(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// Every entry under a folder: files with their bytes, links with their targets.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        const std::string name = fs::relative(it->path(), folder).string();
        if (it->is_symlink()) entries[name] = "-> " + fs::read_symlink(it->path()).string();
        else if (it->is_regular_file()) entries[name] = readText(it->path());
        else entries[name] = "/";
    }
    return entries;
}

class HuPackage : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/hu-package-XXXXXX";
        dir_ = ::mkdtemp(templ);
        sim::createHeadUnit(dir_ / "unit");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // limits: a command in front of hu ("prlimit --as=N --").
    hu::testing::Outcome package(const std::string& options, const std::string& limits = "") {
        return runCommand(limits + " " + hu("package " + unit().string() + " " + options));
    }
    fs::path unit() const { return dir_ / "unit"; }
    fs::path card() const { return dir_ / "unit" / "sdcard"; }
    fs::path dir_;
};

TEST_F(HuPackage, ARefusedOrFailedRunLeavesTheCardAsItWas) {
    ASSERT_EQ(package("").status, 0);
    const auto before = snapshot(card());
    ASSERT_GT(before.size(), 30u);
    writeText(dir_ / "empty.bin", "");

    struct Case {
        std::string options;
        std::string says;
    };
    const std::vector<Case> cases = {
        {"--kernel " + (dir_ / "missing.rom").string(), "cannot read the kernel image --kernel"},
        {"--kernel-size 0", "--kernel-size 0: the kernel image needs at least one byte"},
        {"--micom-size 0", "--micom-size 0: the MCU image needs at least one byte"},
        {"--micom " + (dir_ / "empty.bin").string(), "the MCU image --micom " + (dir_ / "empty.bin").string() + " is empty"},
        {"--bt " + (dir_ / "empty.bin").string(), "the Bluetooth firmware --bt " + (dir_ / "empty.bin").string() + " is empty"},
        {"--tcboot " + (dir_ / "empty.bin").string(), "the bootloader image --tcboot"},
        {"--os-version ''", "--os-version is empty"},
        {"--mcu-version \"$(printf '1.0.2\\nx')\"", "--mcu-version holds a line break"},
        // Fails late, when the package is nearly built: the card still holds the old one.
        {"--panel " + (dir_ / "no-such-panel-file").string(), "no such file or folder"},
    };
    for (const auto& c : cases) {
        auto run = package(c.options);
        EXPECT_EQ(run.status, 1) << c.options << ": " << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.options << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_NE(run.err.find(" (the card is unchanged)\n"), std::string::npos) << run.err;
        EXPECT_TRUE(snapshot(card()) == before) << c.options;
    }
    // A run that succeeds replaces the package as a whole.
    ASSERT_EQ(package("--without panel,vrdb --mcu-version 2.0.0").status, 0);
    EXPECT_EQ(readText(card() / "UpdateXan" / "MicomVer.bin"), "2.0.0");
    EXPECT_FALSE(fs::exists(card() / "UpdateXan" / "ZEK_Update"));
    EXPECT_EQ(fs::directory_iterator(card()) == fs::directory_iterator(), false);
    for (const auto& entry : fs::directory_iterator(card())) EXPECT_EQ(entry.path().filename(), "UpdateXan");
}

// A 1.5 GiB sparse MCU image under a 1 GB address-space limit: read and written in chunks, and
// its holes stay holes on the card.
TEST_F(HuPackage, ReadsImagesAsStreams) {
    const fs::path sparse = dir_ / "sparse.bin";
    {
        std::ofstream out(sparse, std::ios::binary);
        out << "head";
        out.seekp((3ll << 29) - 4);
        out << "tail";
    }
#if defined(__SANITIZE_ADDRESS__)
    const std::string limit;  // the sanitizer reserves terabytes of address space for its shadow
#else
    const std::string limit = "prlimit --as=1000000000 --";
#endif
    auto run = package("--without panel,vrdb --micom " + sparse.string(), limit);
    ASSERT_EQ(run.status, 0) << run.err;
    const fs::path micom = card() / "UpdateXan" / "MICOM.BIN";
    EXPECT_EQ(fs::file_size(micom), 3ull << 29);
    struct stat st {};
    ASSERT_EQ(::stat(micom.c_str(), &st), 0);
    EXPECT_LT(st.st_blocks * 512, 4 << 20);
    std::ifstream in(micom, std::ios::binary);
    char head[4];
    in.read(head, 4);
    EXPECT_EQ(std::string(head, 4), "head");
    in.seekg((3ll << 29) - 4);
    in.read(head, 4);
    EXPECT_EQ(std::string(head, 4), "tail");
}

TEST_F(HuPackage, NeverWritesThroughALinkOnTheCard) {
    const fs::path outside = dir_ / "outside";
    writeText(outside / "precious.txt", "precious");
    // The package folder itself is a link.
    fs::create_directory_symlink(outside, card() / "UpdateXan");
    ASSERT_EQ(package("--without panel,vrdb").status, 0);
    EXPECT_FALSE(fs::is_symlink(card() / "UpdateXan"));
    EXPECT_TRUE(fs::is_regular_file(card() / "UpdateXan" / "MICOM.BIN"));
    EXPECT_EQ(snapshot(outside), (std::map<std::string, std::string>{{"precious.txt", "precious"}}));

    // Kept files and folders that are links are replaced, not written through.
    fs::remove(card() / "UpdateXan" / "MICOM.BIN");
    fs::create_symlink(outside / "precious.txt", card() / "UpdateXan" / "MICOM.BIN");
    fs::remove_all(card() / "UpdateXan" / "OPTION");
    fs::create_directory_symlink(outside, card() / "UpdateXan" / "OPTION");
    ASSERT_EQ(package("--add --without panel,vrdb").status, 0);
    EXPECT_EQ(snapshot(outside), (std::map<std::string, std::string>{{"precious.txt", "precious"}}));
    EXPECT_FALSE(fs::is_symlink(card() / "UpdateXan" / "MICOM.BIN"));
    EXPECT_FALSE(fs::is_symlink(card() / "UpdateXan" / "OPTION"));
    EXPECT_TRUE(fs::is_regular_file(card() / "UpdateXan" / "OPTION" / "BOOT.LGO"));
}

}  // namespace
