#include "bench/bench_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fmt/format.h>
#include <thread>

namespace bench {

int Runs() {
    const char* asked = std::getenv("BENCH_RUNS");
    const int runs = asked ? std::atoi(asked) : 0;
    return std::max(runs, kMinRuns);
}

std::string MachineLine() {
    double load[3] = {-1, -1, -1};
    const int got = getloadavg(load, 3);
    const unsigned cores = std::thread::hardware_concurrency();
    if (got < 3) return fmt::format("{} cores, load average unknown", cores);
    return fmt::format("{} cores, load average {:.2f} {:.2f} {:.2f}", cores, load[0], load[1], load[2]);
}

void PrintHeading(const std::string& name, const std::string& what) {
    std::printf("%s: %s\n", name.c_str(), what.c_str());
    std::printf("  machine: %s; %d runs of each measurement, median and spread\n", MachineLine().c_str(), Runs());
    std::fflush(stdout);
}

void PrintMachineAfter() { std::printf("  machine after the runs: %s\n", MachineLine().c_str()); }

namespace {
int ownErrors = STDERR_FILENO;  // the terminal's stderr, kept for the benchmark's own lines
}

void QuietProgramOutput() {
    if (ownErrors != STDERR_FILENO) return;
    std::fflush(stderr);
    const int kept = ::dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (kept < 0 || null < 0) return;
    ::dup2(null, STDERR_FILENO);
    ::close(null);
    ownErrors = kept;
}

void Require(bool ok, const std::string& why) {
    if (ok) return;
    std::fflush(stdout);
    const std::string line = "result check failed, no figures: " + why + "\n";
    if (::write(ownErrors, line.data(), line.size()) < 0) std::exit(1);
    std::exit(1);
}

double Samples::median() const {
    if (values.empty()) return 0;
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

double Samples::min() const { return values.empty() ? 0 : *std::min_element(values.begin(), values.end()); }
double Samples::max() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }

double Samples::spread() const {
    const double m = median();
    return m > 0 ? (max() - min()) / m : 0;
}

std::string Samples::describe(double scale, const char* unit, int decimals) const {
    return fmt::format("{:.{}f} {} ({} runs, {:.{}f} .. {:.{}f}, spread {:.1f} %)", median() * scale, decimals, unit,
                       values.size(), min() * scale, decimals, max() * scale, decimals, spread() * 100);
}

std::vector<Samples> Interleaved(int runs, const std::vector<std::function<double()>>& measurements) {
    std::vector<Samples> samples(measurements.size());
    for (int run = 0; run < runs; ++run) {
        for (size_t i = 0; i < measurements.size(); ++i) samples[i].values.push_back(measurements[i]());
    }
    return samples;
}

double SecondsSince(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace bench
