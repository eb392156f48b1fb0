// Measures the panel installer against the plain way of doing the same work, in one run:
//   baseline   `cp -r` of the package tree, then one zlib CRC-32 pass over the copy;
//   installer  the installer's scan, delete, copy and verification phases over the same tree
//              (a first installation, and a reinstallation over the previous copy).
// A reinstallation also deletes the previous 64 MiB, so it is set against `rm -r` of the
// previous copy followed by the baseline.
// The package is 64 MiB in 500 files in nested folders, with its checksum list. Also measured:
// the CRC-32 throughput of the installer's table-driven code against a byte-at-a-time table.
// Each figure is the median of several runs with a warm page cache (PHASES=1 also prints the
// time of each phase of every installation). Targets: installer at most
// 1.3 x the baseline, CRC-32 at least 1 GB/s.
#include <zlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "installer/crc/crc32.h"
#include "installer/crc/verify.h"
#include "installer/engine/install_phases.h"
#include "sim/headunit/headunit.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFiles = 500;
constexpr size_t kPackageBytes = 64u << 20;
constexpr int kRuns = 5;

// An InstallView that only counts: the benchmark measures the installer's own work.
class CountingView : public installer::InstallView {
public:
    void SetStatusText(const std::string&) override { ++updates; }
    void SetProgressRange(int32_t) override { ++updates; }
    void SetProgressPos(int32_t) override { ++updates; }
    void BringToFrontIfNotForeground() override {}
    void PumpMessages() override {}
    long updates = 0;
};

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

uint32_t zlibCrc(const std::vector<unsigned char>& bytes) {
    return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

// Writes the package tree (10 folders of 50 files, sizes spread around the mean) and its list.
void writePackage(const fs::path& package) {
    std::mt19937 rng(7);
    // Sizes spread between a quarter and twice the mean, scaled to exactly 64 MiB in all.
    std::vector<double> weights(kFiles);
    double weightSum = 0;
    for (auto& w : weights) weightSum += (w = 0.25 + (rng() % 1750) / 1000.0);
    std::vector<size_t> sizes(kFiles);
    size_t total = 0;
    for (int i = 0; i < kFiles - 1; ++i) total += (sizes[static_cast<size_t>(i)] = static_cast<size_t>(weights[static_cast<size_t>(i)] / weightSum * kPackageBytes));
    sizes.back() = kPackageBytes - total;
    std::string list;
    std::vector<unsigned char> bytes;
    for (int i = 0; i < kFiles; ++i) {
        const std::string folder = "dir" + std::to_string(i / 50);
        const std::string name = "file" + std::to_string(i) + ".bin";
        bytes.resize(sizes[static_cast<size_t>(i)]);
        for (auto& b : bytes) b = static_cast<unsigned char>(rng());
        fs::create_directories(package / "ZEK" / folder);
        std::ofstream(package / "ZEK" / folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        char line[64];
        std::snprintf(line, sizeof line, "%s\\%s:%08X\r\n", folder.c_str(), name.c_str(), zlibCrc(bytes));
        list += line;
    }
    std::ofstream(package / "ZEK.crc", std::ios::binary) << list;
}

// With replace, the previous copy at target is removed (`rm -r`) within the measured time.
double baselineOnce(const fs::path& source, const fs::path& target, bool replace = false) {
    if (!replace) fs::remove_all(target);
    const auto start = Clock::now();
    const std::string copy = "cp -r '" + source.string() + "' '" + target.string() + "'";
    const std::string command = replace ? "rm -r '" + target.string() + "' && " + copy : copy;
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "install_bench: cp failed\n");
        std::exit(1);
    }
    std::vector<unsigned char> buffer(1 << 20);
    uint32_t sum = 0;
    for (const auto& entry : fs::recursive_directory_iterator(target)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        uLong crc = crc32(0, nullptr, 0);
        while (in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size())) ||
               in.gcount() > 0) {
            crc = crc32(crc, buffer.data(), static_cast<uInt>(in.gcount()));
        }
        sum ^= static_cast<uint32_t>(crc);
    }
    const double elapsed = seconds(start);
    if (sum == 0x12345678) std::printf(" ");  // keeps the pass from being optimised away
    return elapsed;
}

double installOnce(bool freshDestination, const fs::path& destinationHost) {
    if (freshDestination) fs::remove_all(destinationHost);
    CountingView view;
    installer::ProcessState process;
    installer::InstallRun run(view, process);
    run.m_strInstallerFolder = "\\SDMMC Card\\UpdateXan\\ZEK_Update\\";
    run.m_Entries[0] = installer::InstallEntry{1, "ZEK", "\\NAND Flash\\ZEK"};
    const auto start = Clock::now();
    installer::ScanPhase(run);
    const double scanned = seconds(start);
    installer::DeletePhase(run);
    const double deleted = seconds(start);
    installer::CopyPhase(run);
    const double copied = seconds(start);
    const int result = installer::VerifyAll(run);
    const double elapsed = seconds(start);
    if (getenv("PHASES")) std::printf("scan %.1f delete %.1f copy %.1f verify %.1f ms\n", scanned * 1e3, (deleted - scanned) * 1e3, (copied - deleted) * 1e3, (elapsed - copied) * 1e3);
    if (result != 1) {
        std::fprintf(stderr, "install_bench: verification failed (%d files)\n", run.m_nCrcErrorCount);
        std::exit(1);
    }
    return elapsed;
}

uint32_t byteTableCrc(const unsigned char* p, size_t n) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    while (n--) crc = table[(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

template <class F>
double throughputGBs(F&& crc, const std::vector<unsigned char>& data) {
    std::vector<double> times;
    uint32_t sink = 0;
    for (int r = 0; r < kRuns; ++r) {
        const auto start = Clock::now();
        for (size_t at = 0; at < data.size(); at += 4096) sink ^= crc(data.data() + at, std::min<size_t>(4096, data.size() - at));
        times.push_back(seconds(start));
    }
    if (sink == 0x12345678) std::printf(" ");
    return static_cast<double>(data.size()) / median(times) / 1e9;
}

}  // namespace

int main() {
    // On a memory file system both sides measure their own work; on a disk file system the
    // cost of re-creating 500 just-deleted files in the kernel's inode allocator dominates and
    // swings from run to run. INSTALL_BENCH_DIR chooses another place.
    const char* place = std::getenv("INSTALL_BENCH_DIR");
    if (!place && fs::is_directory("/dev/shm")) place = "/dev/shm";
    if (place) ::setenv("TMPDIR", place, 1);
    sim::TempHeadUnit unit;
    std::printf("install_bench: head unit in %s\n", unit.root().c_str());
    const fs::path package = unit.sdcard() / "UpdateXan" / "ZEK_Update";
    std::printf("install_bench: writing a package of %d files, %zu MiB\n", kFiles, kPackageBytes >> 20);
    writePackage(package);
    const fs::path baselineTarget = unit.root() / "baseline-copy";
    const fs::path installed = unit.nand() / "ZEK";

    // Warm the page cache and both code paths once.
    baselineOnce(package / "ZEK", baselineTarget);
    installOnce(true, installed);

    std::vector<double> baseline, baselineReplacing, firstInstall, reinstall;
    for (int r = 0; r < kRuns; ++r) {
        baseline.push_back(baselineOnce(package / "ZEK", baselineTarget));
        baselineReplacing.push_back(baselineOnce(package / "ZEK", baselineTarget, true));
        firstInstall.push_back(installOnce(true, installed));
        reinstall.push_back(installOnce(false, installed));
    }
    const double base = median(baseline);
    const double first = median(firstInstall);
    const double again = median(reinstall);
    const double replacing = median(baselineReplacing);
    // Each installation is set against the plain way of doing the same work: a reinstallation
    // deletes the previous copy, so its baseline removes the old tree first.
    std::printf("baseline  cp -r + zlib crc32 pass          %8.1f ms\n", base * 1e3);
    std::printf("installer first installation              %8.1f ms  %.2f x that  (target <= 1.30) %s\n", first * 1e3,
                first / base, first / base <= 1.3 ? "ok" : "MISSED");
    std::printf("baseline  rm -r + cp -r + zlib crc32 pass  %8.1f ms\n", replacing * 1e3);
    std::printf("installer reinstallation (delete too)     %8.1f ms  %.2f x that  (target <= 1.30) %s\n", again * 1e3,
                again / replacing, again / replacing <= 1.3 ? "ok" : "MISSED");

    std::vector<unsigned char> data(kPackageBytes);
    std::mt19937 rng(3);
    for (auto& b : data) b = static_cast<unsigned char>(rng());
    const double fast = throughputGBs([](const unsigned char* p, size_t n) { return installer::Crc32(p, n); }, data);
    const double bytewise = throughputGBs(byteTableCrc, data);
    const double zlib = throughputGBs(
        [](const unsigned char* p, size_t n) {
            return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), p, static_cast<uInt>(n)));
        },
        data);
    std::printf("CRC-32 installer %.2f GB/s (target >= 1.0) %s; byte-at-a-time table %.2f GB/s; zlib %.2f GB/s\n", fast,
                fast >= 1.0 ? "ok" : "MISSED", bytewise, zlib);
    return 0;
}
