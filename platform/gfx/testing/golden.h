#pragma once
// Golden-image comparison for tests of anything drawn: render into a surface, compare it with
// a checked-in PNG within a tolerance. On a mismatch the actual image is written into the
// given output folder (the build folder) under the expected file's name, and the message names
// the first differing pixel, so a reviewer can look at both pictures side by side.

#include <filesystem>
#include <string>

#include "platform/gfx/surface.h"

namespace ce::testing {

struct GoldenTolerance {
    int channel = 0;            // largest difference allowed in any of R, G, B
    double badFraction = 0.0;   // share of pixels allowed to exceed it (text rendering varies)
};

struct GoldenResult {
    bool ok = false;
    std::string message;  // empty when ok
};

// Compares `actual` with the PNG `expected`. `actualOutDir` receives "<name>.actual.png" on a
// mismatch (created if missing). With the environment variable HU_UPDATE_GOLDEN=1 the expected
// file is (re)written from `actual` instead and the comparison passes.
GoldenResult compareWithGolden(const Surface& actual, const std::filesystem::path& expected,
                               const std::filesystem::path& actualOutDir, GoldenTolerance tolerance = {});

}  // namespace ce::testing
