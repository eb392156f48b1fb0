// Whole downloads through the exported functions, called in the page's order, into the
// simulated module behind dev/COM2: the module must end up holding exactly the image without
// its 16-byte suffix.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "sim/bluetooth/bluetooth_module.h"
#include "sim/headunit/headunit.h"
#include "updater/bluetooth/dfu_exports.h"

namespace bluetooth {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

class DownloadTest : public ::testing::Test {
protected:
    ~DownloadTest() override {
        StopDfuEngine();
        module.reset();
    }

    void startModule(const nlohmann::json& settings = {}) {
        sim::bluetooth::ModuleOptions options;
        std::string error;
        ASSERT_TRUE(sim::bluetooth::LoadModuleOptions(unit.root(), settings, options, error)) << error;
        module = std::make_unique<sim::bluetooth::BluetoothModule>(options);
        module->start();
    }

    Bytes writeImage(size_t size, uint32_t seed = 1) {
        Bytes image(size);
        uint32_t x = seed;
        for (auto& b : image) {
            x = x * 1103515245u + 12345u;
            b = static_cast<uint8_t>(x >> 16);
        }
        std::filesystem::create_directories(unit.sdcard() / "UpdateXan");
        std::ofstream(unit.sdcard() / "UpdateXan" / "BT.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        return image;
    }

    // The page's calls up to the start of the engine.
    void startEngine() {
        ASSERT_EQ(open_port(u"COM2:"), 1);
        EXPECT_NE(setting_port(0, 0), 0);
        EXPECT_EQ(write_dfu(), 25);
        open_update();
        ASSERT_GT(get_fileinfo(), 0);
        std::this_thread::sleep_for(100ms);
        uint8_t answer[25] = {};
        read_dfu(answer, sizeof answer);
        EXPECT_NE(setting_port(2, 0), 0);
        start_update();
    }

    // Waits for the engine's success; false after `limit`.
    bool waitDone(std::chrono::milliseconds limit = 20s) {
        auto end = std::chrono::steady_clock::now() + limit;
        BtDfuStatus status{};
        while (std::chrono::steady_clock::now() < end) {
            get_status(&status);
            if (status.done) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    Bytes firmwareOf(const Bytes& image) const { return Bytes(image.begin(), image.end() - 16); }

    Bytes imageFile() const {
        std::ifstream in(module->imagePath(), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    sim::TempHeadUnit unit;
    std::unique_ptr<sim::bluetooth::BluetoothModule> module;
};

TEST_F(DownloadTest, ModuleInApplicationModeIsRestartedIntoDfuAndReceivesTheExampleImage) {
    Bytes image = writeImage(10356);
    startModule();
    startEngine();
    ASSERT_TRUE(waitDone());
    auto state = module->snapshot();
    EXPECT_EQ(state.restarts, 1);  // detach + reset: one restart into DFU mode
    EXPECT_EQ(state.commandsAnswered, 1);
    EXPECT_EQ(state.blocksReceived, 11);
    EXPECT_EQ(state.image, firmwareOf(image));
    EXPECT_EQ(imageFile(), firmwareOf(image));
    BtDfuStatus status{};
    get_status(&status);
    EXPECT_EQ(status.blocksSent, 11u);
    EXPECT_EQ(status.reserved, 0);
}

TEST_F(DownloadTest, ModuleAlreadyInDfuModeWithALargeTransferSize) {
    Bytes image = writeImage(5000);
    startModule({{"dfuMode", true}, {"transferSize", 2048}});
    startEngine();
    ASSERT_TRUE(waitDone());
    auto state = module->snapshot();
    EXPECT_EQ(state.restarts, 0);
    EXPECT_EQ(state.blocksReceived, 5);  // 1024-byte blocks: the size is limited to the buffer
    EXPECT_EQ(state.image, firmwareOf(image));
}

// A module busy after every block is asked nothing until its poll time-out has passed: a
// strict one (the default) would stall an early request and go to dfuERROR.
TEST_F(DownloadTest, ImageOfWholeBlocksAndABusyManifestingModule) {
    Bytes image = writeImage(4 * 256 + 16);
    startModule({{"dfuMode", true}, {"transferSize", 256}, {"busyMs", 30}, {"manifestMs", 120}});
    startEngine();
    ASSERT_TRUE(waitDone());
    auto state = module->snapshot();
    EXPECT_EQ(state.blocksReceived, 4);
    EXPECT_EQ(state.image, firmwareOf(image));
}

TEST_F(DownloadTest, BusyAfterTheLastShortBlockStrictAndLenient) {
    for (bool lenient : {false, true}) {
        Bytes image = writeImage(1500, lenient ? 2 : 3);
        nlohmann::json settings = {{"dfuMode", true}, {"busyMs", 40}, {"busyLast", true}};
        if (lenient) settings["lenientBusy"] = true;
        startModule(settings);
        startEngine();
        ASSERT_TRUE(waitDone()) << (lenient ? "lenient" : "strict");
        EXPECT_EQ(module->snapshot().image, firmwareOf(image)) << (lenient ? "lenient" : "strict");
        StopDfuEngine();
        module.reset();
    }
}

TEST_F(DownloadTest, LenientBusyModuleEveryBlock) {
    Bytes image = writeImage(3 * 512 + 100 + 16);
    startModule({{"dfuMode", true}, {"transferSize", 512}, {"busyMs", 25}, {"lenientBusy", true}});
    startEngine();
    ASSERT_TRUE(waitDone());
    auto state = module->snapshot();
    EXPECT_EQ(state.blocksReceived, 4);
    EXPECT_EQ(state.image, firmwareOf(image));
}

TEST_F(DownloadTest, LineFaultsAreMadeGoodByRetransmission) {
    Bytes image = writeImage(8000);
    startModule({{"corruptEvery", 5}, {"dropEvery", 7}, {"badCrcEvery", 11}, {"outOfSequenceEvery", 13}, {"loseEvery", 6}});
    startEngine();
    ASSERT_TRUE(waitDone(40s));
    auto state = module->snapshot();
    EXPECT_EQ(state.image, firmwareOf(image));
    EXPECT_GT(state.link.retransmissions, 0);
}

TEST_F(DownloadTest, NewAttemptStopsTheOldWorkerAndStartsCleanFromBlockZero) {
    Bytes image = writeImage(20000);
    startModule({{"dfuMode", true}});
    startEngine();
    auto until = std::chrono::steady_clock::now() + 20s;
    while (module->snapshot().blocksReceived < 3 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(10ms);
    ASSERT_GE(module->snapshot().blocksReceived, 3);

    // The sequence runs the step again in the same process.
    startEngine();
    ASSERT_TRUE(waitDone(30s));
    auto state = module->snapshot();
    EXPECT_EQ(state.image, firmwareOf(image));
    EXPECT_EQ(state.manifestations, 1);
}

TEST_F(DownloadTest, ModuleCommandIsAnsweredOnlyAtTheRightLineSettings) {
    startModule();
    ASSERT_EQ(open_port(u"COM2:"), 1);
    setting_port(0, 2);  // two stop bits: the module cannot read the command
    EXPECT_EQ(write_dfu(), 25);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(module->snapshot().commandsAnswered, 0);
    EXPECT_GT(module->snapshot().garbledChunks, 0);

    setting_port(0, 0);
    uint8_t answer[256] = {};
    read_dfu(answer, sizeof answer);  // whatever the module sent meanwhile
    write_dfu();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(module->snapshot().commandsAnswered, 1);
    int got = read_dfu(answer, sizeof answer);
    ASSERT_GE(got, 25);
    // The answer is somewhere among the module's sync messages.
    const uint8_t expected[] = {0xEF, 0x07, 0x01};
    EXPECT_NE(std::search(answer, answer + got, expected, expected + 3), answer + got);
}

TEST_F(DownloadTest, WorkerEndsWhenThePortCannotBeOpenedOrTheImageIsMissing) {
    // No module: dev/COM2 leads nowhere.
    EXPECT_EQ(open_port(u"COM2:"), 0);
    open_update();
    start_update();
    auto until = std::chrono::steady_clock::now() + 5s;
    while (DfuWorkerResult() == 1 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(DfuWorkerResult(), 0);

    startModule({{"dfuMode", true}});
    EXPECT_EQ(get_fileinfo(), -1);
    ASSERT_EQ(open_port(u"COM2:"), 1);
    setting_port(2, 0);
    open_update();
    start_update();
    until = std::chrono::steady_clock::now() + 10s;
    while (DfuWorkerResult() == 1 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(DfuWorkerResult(), -1);  // the link came up, the image could not be opened
    BtDfuStatus status{};
    get_status(&status);
    EXPECT_EQ(status.blocksSent, 0u);
}

}  // namespace
}  // namespace bluetooth
