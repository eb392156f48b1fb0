#pragma once
// The table the demo ends with: each check and its evidence, the time each step took, where
// the screenshots are, and the share of the total time taken by the system's fixed waits, by
// the transfers and by everything else.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/hu/demo/checks.h"
#include "tools/hu/demo/time_accounting.h"

namespace hu::demo {

struct StepTime {
    std::string name;
    uint64_t ms = 0;
};

struct Summary {
    std::vector<CheckResult> checks;
    std::vector<StepTime> steps;
    std::filesystem::path screenshots;
    int screenshotCount = 0;
    TimeAccount time;
    std::string cleanup;  // what the clean-up did, one line
};

void printSummary(FILE* out, const Summary& summary);

// True when there is at least one check and every check passed.
bool allPassed(const std::vector<CheckResult>& checks);

}  // namespace hu::demo
