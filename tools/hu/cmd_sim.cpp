// hu sim DIR NAME [options]: runs one simulator of a head unit in the foreground.

#include <cstdio>
#include <filesystem>

#include "tools/hu/head_unit_arg.h"
#include "tools/hu/sim_commands.h"
#include "tools/hu/simulator_claim.h"

namespace hu {

int runShellSimulator(const std::string& headUnitDir, const Args& options);
int runMcuSimulator(const std::string& headUnitDir, const Args& options);
int runBluetoothSimulator(const std::string& headUnitDir, const Args& options);
int runNavigationSimulator(const std::string& headUnitDir, const Args& options);

// Each simulator registers here, explicitly.
const std::vector<Simulator>& simulators() {
    static const std::vector<Simulator> table = {
        {"shell", "[--windows A,B,...]  the head unit's own application windows, logging what they receive", runShellSimulator},
        {"mcu", "[--chip 0|1] [--blank] [--paced] [--skip-entry-check] [faults] (--help lists all)  the MCU's boot firmware behind COM5", runMcuSimulator},
        {"bluetooth", "[--dfu-mode] [--transfer-size N] [--paced] [faults] (--help lists all)  the Bluetooth module (BCSP, DFU) behind COM2", runBluetoothSimulator},
        {"navigation", "[--route FILE] [--topmost] [--print-route]  the navigation program: window \"Kelo\" with a map, playing a route to the panel", runNavigationSimulator},
    };
    return table;
}

int cmdSim(const Args& args) {
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: hu sim DIR NAME [options]; simulators:\n");
        for (const auto& s : simulators()) std::fprintf(stderr, "  %-10s %s\n", s.name, s.options);
        return 2;
    }
    for (const auto& s : simulators()) {
        if (args[1] != s.name) continue;
        const Args options(args.begin() + 2, args.end());
        const bool help = !options.empty() && (options[0] == "--help" || options[0] == "-h");
        if (help) return s.run(args[0], options);
        if (!checkHeadUnit(args[0], "hu sim")) return 1;
        std::error_code ec;
        const auto claim = claimSimulator(std::filesystem::absolute(args[0], ec).lexically_normal(), s.name);
        if (!claim) return 1;
        return s.run(args[0], options);
    }
    std::fprintf(stderr, "hu sim: unknown simulator '%s'\n", args[1].c_str());
    return 2;
}

}  // namespace hu
