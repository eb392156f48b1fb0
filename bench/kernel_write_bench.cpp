// Measures the OS page's kernel phase against the plain way of moving the same bytes, in one run:
//   baseline  `dd if=nk.rom of=<image on the same disk> bs=4096`;
//   kernel    the kernel phase: open "DSK1:", checksum test of the first 128 KiB, the image in
//             4096-byte write-pages requests into the simulated NAND's sector file.
// The image is 32 MiB with a correct checksum. The page's fixed pauses (a second after the
// bootloader and after the kernel) are not part of the phase and not measured. Also shown: the
// same 8192 requests sent straight to "DSK1:" without the phase around them, which tells the
// simulated driver's own share from the phase's. Each figure is the median of several runs
// with a warm page cache. Target: kernel at most 1.3 x baseline.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/core/files.h"
#include "platform/devices/device.h"
#include "platform/devices/device_buffer.h"
#include "sim/headunit/headunit.h"
#include "updater/nand/kernel_checksum.h"
#include "updater/os_page/nand_phases.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr size_t kImageBytes = 32u << 20;
constexpr int kRuns = 5;
constexpr double kTargetRatio = 1.3;

// The phase's status line and progress bar, counted only: the benchmark measures the phase.
class CountingOutput : public updater::OsPageOutput {
public:
    void ShowStatus(const std::string&) override { ++updates; }
    void SetProgress(int) override { ++updates; }
    void ShowMessageBox(const std::string&) override {}
    long updates = 0;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void writeKernelImage(const fs::path& file) {
    std::vector<uint8_t> image(kImageBytes);
    std::mt19937 rng(5);
    for (auto& b : image) b = static_cast<uint8_t>(rng());
    const uint32_t crc = updater::KernelChecksum(image);
    for (int i = 0; i < 4; ++i) image[16 + i] = static_cast<uint8_t>(crc >> (8 * i));
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
}

double timeDd(const fs::path& image, const fs::path& target) {
    fs::remove(target);
    const std::string command = "dd if='" + image.string() + "' of='" + target.string() + "' bs=4096 2>/dev/null";
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "kernel_write_bench: dd failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double timeKernelPhase(const fs::path& root) {
    fs::remove(root / "flash" / "nand_sectors.bin");
    CountingOutput output;
    std::string filePath;
    const auto start = Clock::now();
    const bool ok = updater::WriteKernel(output, updater::Language::English, filePath);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!ok || fs::file_size(root / "flash" / "nand_sectors.bin") != 8 * 512 + kImageBytes) {
        std::fprintf(stderr, "kernel_write_bench: the kernel phase failed\n");
        std::exit(1);
    }
    return seconds;
}

// The driver alone: the image's 4096-byte blocks as write-pages requests, from one buffer.
double timeDriverOnly(const fs::path& root) {
    fs::remove(root / "flash" / "nand_sectors.bin");
    auto buffer = ce::DeviceBuffer::allocate(4096);
    const auto start = Clock::now();
    auto device = ce::Device::open("DSK1:", ce::GENERIC_READ | ce::GENERIC_WRITE, 0, ce::OPEN_ALWAYS, 0x80000080);
    if (!device || !buffer) std::exit(1);
    for (uint32_t i = 0; i < kImageBytes / 4096; ++i) {
        const uint32_t record[3] = {8 + 8 * i, 8, buffer->address32()};
        if ((*device)->ioControl(0x222804, record, sizeof record, nullptr, 4) != ce::ERROR_SUCCESS) std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main() {
    sim::TempHeadUnit unit;
    const fs::path image = unit.sdcard() / "UpdateXan" / "nk.rom";
    writeKernelImage(image);
    const fs::path ddTarget = unit.root() / "dd_target.img";

    timeDd(image, ddTarget);  // warm the page cache
    timeKernelPhase(unit.root());
    std::vector<double> dd, kernel, driver;
    for (int run = 0; run < kRuns; ++run) {
        dd.push_back(timeDd(image, ddTarget));
        kernel.push_back(timeKernelPhase(unit.root()));
        driver.push_back(timeDriverOnly(unit.root()));
    }
    const double ddSeconds = median(dd);
    const double kernelSeconds = median(kernel);
    const double ratio = kernelSeconds / ddSeconds;
    const double mib = double(kImageBytes) / (1 << 20);
    std::printf("kernel image            %.0f MiB, %d runs, medians\n", mib, kRuns);
    std::printf("baseline dd bs=4096     %8.1f ms  %7.0f MiB/s\n", ddSeconds * 1000, mib / ddSeconds);
    std::printf("kernel check + write    %8.1f ms  %7.0f MiB/s  (8192 requests through DSK1:)\n", kernelSeconds * 1000,
                mib / kernelSeconds);
    std::printf("  of which the driver   %8.1f ms  (the same requests sent alone)\n", median(driver) * 1000);
    std::printf("ratio                   %8.2f  (target <= %.1f) %s\n", ratio, kTargetRatio,
                ratio <= kTargetRatio ? "PASS" : "FAIL");
    return ratio <= kTargetRatio ? 0 : 1;
}
