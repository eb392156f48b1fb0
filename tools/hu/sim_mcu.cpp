// `hu sim DIR mcu [options]`: the MCU's boot firmware behind the head unit's COM5, until
// SIGINT/SIGTERM. Options come from headunit.json ("sim": {"mcu": {...}}), then the command line.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "sim/mcu/mcu_simulator.h"
#include "tools/hu/sim_commands.h"

namespace hu {

namespace {

std::atomic<bool> g_stopMcu{false};

void stopMcu(int) { g_stopMcu = true; }

}  // namespace

int runMcuSimulator(const std::string& headUnitDir, const Args& options) {
    if (!options.empty() && (options[0] == "--help" || options[0] == "-h")) {
        std::printf("usage: hu sim DIR mcu %s\n", sim::mcu::optionsUsage());
        return 0;
    }
    try {
        std::filesystem::path root = std::filesystem::absolute(headUnitDir);
        auto mcuOptions = sim::mcu::McuSimulator::optionsFor(root, options);
        std::signal(SIGINT, stopMcu);
        std::signal(SIGTERM, stopMcu);
        sim::mcu::McuSimulator mcu(root, mcuOptions);
        std::printf("mcu: chip %d, flash 0..%05X in %u blocks, on %s; flash in %s, log in %s\n", mcuOptions.chip,
                    mcuOptions.lastAddress, mcuOptions.blockCount, mcu.ttyPath().c_str(),
                    sim::mcu::McuSimulator::flashFile(root).c_str(), sim::mcu::McuSimulator::logFile(root).c_str());
        std::fflush(stdout);
        while (!g_stopMcu) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hu sim: %s\n", e.what());
        return 1;
    }
}

}  // namespace hu
