#pragma once
// What every benchmark command shares, so that no figure can mislead: the result is checked
// before any figure is printed, the machine's core count and load stand beside the figures,
// and each measurement is taken at least five times and shown as its median with the spread.

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// At least this many runs of each measurement; BENCH_RUNS asks for more.
constexpr int kMinRuns = 5;
int Runs();

// "2 cores, load average 3.10 2.05 1.00" as the machine is now.
std::string MachineLine();

// Prints the benchmark's heading with the machine line.
void PrintHeading(const std::string& name, const std::string& what);

// Prints the machine line again after the measurements (the load may have changed).
void PrintMachineAfter();

// From now on the programs' debug and console lines (which also go to the head unit's log)
// stay off the terminal: the benchmark's own output is its figures. Its own errors still show.
void QuietProgramOutput();

// Ends the benchmark with status 1 and `why` on stderr unless `ok`: a wrong result gets no
// figures.
void Require(bool ok, const std::string& why);

struct Samples {
    std::vector<double> values;
    double median() const;
    double min() const;
    double max() const;
    // The spread as a share of the median: (max - min) / median.
    double spread() const;
    // "123.4 ms (5 runs, 120.1 .. 130.2, spread 8.1 %)", values scaled by `scale` first.
    std::string describe(double scale, const char* unit, int decimals = 1) const;
};

// Runs every measurement `runs` times, taking them in turn (a, b, c, a, b, c, ...) so that a
// change of the machine's load falls on all of them alike. Each function returns its figure
// for one run (usually seconds).
std::vector<Samples> Interleaved(int runs, const std::vector<std::function<double()>>& measurements);

// Seconds since `start` on the steady clock.
double SecondsSince(const std::chrono::steady_clock::time_point& start);

}  // namespace bench
