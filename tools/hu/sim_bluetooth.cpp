// `hu sim DIR bluetooth [options]`: the Bluetooth module (BCSP peer and DFU device) behind the
// head unit's COM2, until SIGINT/SIGTERM. Options come from headunit.json
// ("sim": {"bluetooth": {...}}), then the command line. The image the module receives lands in
// flash/bt_image.bin, its request log in log/bt_module.log.

#include <nlohmann/json.hpp>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "sim/bluetooth/bluetooth_module.h"
#include "tools/hu/sim_commands.h"

namespace hu {

namespace {

std::atomic<bool> g_stopBluetooth{false};

void stopBluetooth(int) { g_stopBluetooth = true; }

}  // namespace

SimulatorRun describeBluetooth(cli::Parser& verb) {
    // The command line's settings, as the JSON object they override headunit.json's with.
    auto settings = std::make_shared<nlohmann::json>(nlohmann::json::object());
    verb.option("--port", "NAME", "the serial port the module sits behind (COM2:)", [settings](std::string& v) {
        (*settings)["port"] = v;
        return std::string();
    });
    for (const auto& s : sim::bluetooth::ModuleSettings()) {
        const std::string key = s.key;
        if (s.maxNumber > 0)
            verb.option(s.flag, "N", s.description,
                        cli::wholeNumber(0, s.maxNumber, [settings, key](long long v) { (*settings)[key] = v; }));
        else
            verb.flag(s.flag, s.description, [settings, key] { (*settings)[key] = true; });
    }
    return [settings](const std::string& headUnitDir) {
        try {
            sim::bluetooth::ModuleOptions moduleOptions;
            std::string error;
            if (!sim::bluetooth::LoadModuleOptions(std::filesystem::absolute(headUnitDir), *settings, moduleOptions, error)) {
                std::fprintf(stderr, "hu sim bluetooth: %s\n", error.c_str());
                return 1;
            }
            std::signal(SIGINT, stopBluetooth);
            std::signal(SIGTERM, stopBluetooth);
            sim::bluetooth::BluetoothModule module(moduleOptions);
            std::printf("bluetooth: module in %s mode, transfer size %u, on %s; image in %s, log in %s\n",
                        moduleOptions.dfu.startInDfuMode ? "DFU" : "application", moduleOptions.dfu.transferSize,
                        sim::bluetooth::ModuleLinkPath(moduleOptions).c_str(), module.imagePath().c_str(),
                        module.logPath().c_str());
            std::fflush(stdout);
            module.run(g_stopBluetooth);
            return 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "hu sim bluetooth: %s\n", e.what());
            return 1;
        }
    };
}

}  // namespace hu
