// START with the Bluetooth step: the Bluetooth page downloads the package's firmware into the
// simulated module through the engine UpdateXan carries.

#include <gtest/gtest.h>

#include <fstream>

#include "sim/bluetooth/bluetooth_module.h"
#include "updater/tests/e2e/updater_run.h"

namespace updater::e2e {
namespace {

using namespace std::chrono_literals;

TEST(BluetoothUpdate, StartDownloadsTheFirmwareWithoutItsSuffix) {
    sim::HeadUnitOptions options;
    options.codePage = 1252;
    options.osVersion = options.micomVersion = options.bluetoothVersion = "1.0.0";
    UpdaterRun run(options);
    run.Package({"--os-version", "1.0.0", "--mcu-version", "1.0.0", "--bt-version", "1.0.1", "--bt-size", "6000",
                 "--without", "panel"});
    sim::bluetooth::ModuleOptions moduleOptions;
    std::string error;
    ASSERT_TRUE(sim::bluetooth::LoadModuleOptions(run.root(), {}, moduleOptions, error)) << error;
    sim::bluetooth::BluetoothModule module(moduleOptions);
    module.start();

    run.StartUpdater();
    ASSERT_TRUE(run.WaitText(1000, "START", 20));
    ASSERT_TRUE(run.Click(1000));
    ASSERT_TRUE(run.WaitText(1006, "Update Success!\r\n\r\nPress the [RESTART] button to restart system.", 120))
        << run.DebugLog();
    EXPECT_EQ(run.CountInLog("[FAIL]"), 0);

    std::ifstream in(run.unit().sdcard() / "UpdateXan" / "BT.bin", std::ios::binary);
    std::vector<uint8_t> image(std::istreambuf_iterator<char>(in), {});
    ASSERT_EQ(image.size(), 6016u);
    image.resize(image.size() - 16);
    EXPECT_EQ(module.snapshot().image, image);
    module.stop();
    ASSERT_TRUE(run.Click(1000));
    EXPECT_EQ(run.WaitUpdaterEnd(10s), 0);
}

}  // namespace
}  // namespace updater::e2e
