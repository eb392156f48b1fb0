#pragma once
// The simulators `hu sim DIR NAME [options]` can start, one entry each (tools/hu/sim_<name>.cpp).

#include <functional>
#include <string>
#include <vector>

#include "tools/hu/cli_support.h"

namespace hu {

// Runs a simulator of the head unit at headUnitDir in the foreground until SIGINT/SIGTERM and
// returns the exit code.
using SimulatorRun = std::function<int(const std::string& headUnitDir)>;

struct Simulator {
    const char* name;     // "mcu"
    const char* summary;  // one line for --help
    // Adds the simulator's options to its verb of `hu sim`; what it gives back runs the
    // simulator with them once the command line has been read.
    SimulatorRun (*describe)(cli::Parser& verb);
};

const std::vector<Simulator>& simulators();

}  // namespace hu
