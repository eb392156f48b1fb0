#include "tools/hu/demo/summary.h"

#include <algorithm>

#include <fmt/format.h>

namespace hu::demo {

namespace {

// Display width of UTF-8 text: one column per character (the table's names are ASCII, the
// evidence may quote the pages' texts).
size_t columns(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string padded(const std::string& text, size_t width) {
    const size_t used = columns(text);
    return used >= width ? text : text + std::string(width - used, ' ');
}

std::string seconds(uint64_t ms) { return fmt::format("{:.1f} s", static_cast<double>(ms) / 1000.0); }

}  // namespace

bool allPassed(const std::vector<CheckResult>& checks) {
    return !checks.empty() && std::all_of(checks.begin(), checks.end(), [](const CheckResult& c) { return c.passed; });
}

void printSummary(FILE* out, const Summary& s) {
    size_t nameWidth = 0;
    for (const auto& c : s.checks) nameWidth = std::max(nameWidth, columns(c.name));
    std::fprintf(out, "\nChecks\n");
    for (const auto& c : s.checks)
        std::fprintf(out, "  %-4s  %s  %s\n", c.passed ? "ok" : "FAIL", padded(c.name, nameWidth).c_str(), c.detail.c_str());

    size_t stepWidth = 0;
    for (const auto& step : s.steps) stepWidth = std::max(stepWidth, columns(step.name));
    std::fprintf(out, "\nSteps\n");
    for (const auto& step : s.steps)
        std::fprintf(out, "  %s  %8s\n", padded(step.name, stepWidth).c_str(), seconds(step.ms).c_str());

    std::fprintf(out, "\nScreenshots: %d PNG files in %s\n", s.screenshotCount, s.screenshots.c_str());

    const TimeAccount& t = s.time;
    std::fprintf(out, "\nTime: %s in all\n", seconds(t.totalMs).c_str());
    std::fprintf(out, "  the system's fixed waits   %8s  %5.1f %%\n", seconds(t.fixedMs()).c_str(), t.share(t.fixedMs()));
    for (const auto& part : t.fixedWaits)
        std::fprintf(out, "      %s  %s\n", padded(part.what, 44).c_str(), seconds(part.ms).c_str());
    std::fprintf(out, "  MCU and Bluetooth transfers %7s  %5.1f %%\n", seconds(t.transferMs()).c_str(), t.share(t.transferMs()));
    for (const auto& part : t.transfers)
        std::fprintf(out, "      %s  %s\n", padded(part.what, 44).c_str(), seconds(part.ms).c_str());
    std::fprintf(out, "  everything else            %8s  %5.1f %%  (target: under 10 %%)\n", seconds(t.otherMs()).c_str(),
                 t.share(t.otherMs()));
    if (!s.cleanup.empty()) std::fprintf(out, "\n%s\n", s.cleanup.c_str());
    std::fflush(out);
}

}  // namespace hu::demo
