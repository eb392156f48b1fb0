// `hu bt-dfu` as people run it: a separate process against the simulated Bluetooth module of
// a head unit; exit 0 and the firmware in the module, or exit 1 with one line saying why.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "sim/bluetooth/bluetooth_module.h"
#include "sim/headunit/headunit.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class HuBtDfu : public ::testing::Test {
protected:
    void startModule() {
        sim::bluetooth::ModuleOptions options;
        std::string error;
        ASSERT_TRUE(sim::bluetooth::LoadModuleOptions(unit.root(), {}, options, error)) << error;
        module = std::make_unique<sim::bluetooth::BluetoothModule>(options);
        module->start();
    }

    Outcome run(const std::string& arguments) {
        const auto out = unit.root() / "log" / "test-out.txt";
        const auto err = unit.root() / "log" / "test-err.txt";
        const std::string command = std::string(HU_BIN_DIR) + "/hu bt-dfu " + unit.root().string() + " " + arguments +
                                    " >" + out.string() + " 2>" + err.string();
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
    }

    sim::TempHeadUnit unit;
    std::unique_ptr<sim::bluetooth::BluetoothModule> module;
};

TEST_F(HuBtDfu, DownloadsAHostFileWithoutItsSuffixAndSaysSo) {
    startModule();
    Bytes file(3000);
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    const auto path = unit.root() / "firmware.dfu";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));

    const Outcome o = run("--file " + path.string());
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_NE(o.out.find("bluetooth: updating from \\Host\\"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("bluetooth: module updated, "), std::string::npos) << o.out;
    EXPECT_EQ(o.err, "") << "the engine's lines stay in the log without --verbose";
    EXPECT_EQ(module->snapshot().image, Bytes(file.begin(), file.end() - 16));
}

TEST_F(HuBtDfu, EachFailureIsOneLineThatSaysWhy) {
    // No image on the card: named before the module is contacted.
    Outcome o = run("");
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err.rfind("hu bt-dfu: no Bluetooth image at \\SDMMC Card\\UpdateXan\\BT.bin", 0), 0u) << o.err;

    // No module on the line.
    const auto image = unit.root() / "module.dfu";
    std::ofstream(image, std::ios::binary) << std::string(4096, 'x');
    o = run("--file " + image.string());
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err.rfind("hu bt-dfu: cannot open COM2: ", 0), 0u) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;

    // A file that is not there: nothing is started.
    o = run("--file " + (unit.root() / "missing.dfu").string());
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err, "hu bt-dfu: " + (unit.root() / "missing.dfu").string() + " is not a file\n");

    // Not a head unit at all.
    const std::string command = std::string(HU_BIN_DIR) + "/hu bt-dfu /nonexistent-head-unit >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
}

}  // namespace
