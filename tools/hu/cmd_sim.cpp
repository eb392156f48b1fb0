// hu sim DIR NAME [options]: runs one simulator of a head unit in the foreground.

#include <filesystem>

#include "tools/hu/head_unit_arg.h"
#include "tools/hu/sim_commands.h"
#include "tools/hu/simulator_claim.h"

namespace hu {

SimulatorRun describeShell(cli::Parser& verb);
SimulatorRun describeMcu(cli::Parser& verb);
SimulatorRun describeBluetooth(cli::Parser& verb);
SimulatorRun describeNavigation(cli::Parser& verb);

// Each simulator registers here, explicitly.
const std::vector<Simulator>& simulators() {
    static const std::vector<Simulator> table = {
        {"shell", "the head unit's own application windows, logging what they receive", describeShell},
        {"mcu", "the MCU's boot firmware behind COM5", describeMcu},
        {"bluetooth", "the Bluetooth module (BCSP, DFU) behind COM2", describeBluetooth},
        {"navigation", "the navigation program: window \"Kelo\" with a map, playing a route to the panel", describeNavigation},
    };
    return table;
}

int cmdSim(const Args& args) {
    std::string dir;
    cli::Parser parser("hu sim", "run one simulator of a head unit in the foreground until Ctrl-C; its settings come from "
                                 "headunit.json (\"sim\": {NAME: {...}}), then the command line");
    parser.headUnit(dir).verbRequired();
    std::vector<SimulatorRun> runs;
    for (const auto& s : simulators()) runs.push_back(s.describe(parser.verb(s.name, s.summary)));
    if (auto status = parser.parse(args)) return *status;
    const std::string& kind = parser.chosenVerb()->name();
    if (!checkHeadUnit(dir, "hu sim")) return 1;
    std::error_code ec;
    const auto claim = claimSimulator(std::filesystem::absolute(dir, ec).lexically_normal(), kind);
    if (!claim) return 1;
    for (size_t i = 0; i < runs.size(); ++i)
        if (kind == simulators()[i].name) return runs[i](dir);
    return 2;
}

}  // namespace hu
