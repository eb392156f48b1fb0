// Feeds arbitrary bytes to the route parser (text and JSON). A route it accepts must hold what
// the player relies on: times in order, values that fit the guidance record.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/navigation/route.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto route = sim::nav::parseRoute(text, "fuzz", &error);
    if (!route) {
        if (error.rfind("fuzz:", 0) != 0) __builtin_trap();  // every error names the file
        return 0;
    }
    uint32_t previous = 0;
    for (const auto& e : route->events) {
        if (e.atMs < previous || e.line < 1) __builtin_trap();
        previous = e.atMs;
        if (!sim::nav::checkGuidanceFields(e.guidance).empty()) __builtin_trap();
        (void)sim::nav::encodeGuidanceRecord(e.guidance);
    }
    return 0;
}
