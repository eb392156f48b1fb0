#pragma once
// The simulators `hu sim DIR <name> [options]` can start, one entry each (tools/hu/sim_<name>.cpp).
// Each runs its simulator in the foreground until SIGINT/SIGTERM and returns the exit code.

#include "tools/hu/commands.h"

namespace hu {

struct Simulator {
    const char* name;     // "mcu"
    const char* options;  // one line of its options
    int (*run)(const std::string& headUnitDir, const Args& options);
};

const std::vector<Simulator>& simulators();

}  // namespace hu
