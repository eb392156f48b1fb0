// Measures the OS page's kernel phase against the plain way of moving the same bytes, in one run:
//   baseline  `dd if=nk.rom of=<image on the same disk> bs=4096`;
//   kernel    the kernel phase: open "DSK1:", checksum test of the first 128 KiB, the image in
//             4096-byte write-pages requests into the simulated NAND's sector file.
// The image is 32 MiB with a correct checksum. The page's fixed pauses (a second after the
// bootloader and after the kernel) are not part of the phase and not measured. Also shown: the
// same 8192 requests sent straight to "DSK1:" without the phase around them, which tells the
// simulated driver's own share from the phase's, and the CD-ROM-EDC checksum's speed (sliced
// tables against the byte table). The sector file must hold the image and the checksums must
// agree before a figure is printed. The measurements are taken in turn, each at least five
// times with a warm page cache, and shown as median and spread. Target: kernel at most 1.3 x
// baseline.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "bench/bench_support.h"
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
constexpr double kTargetRatio = 1.3;

// The phase's status line and progress bar, counted only: the benchmark measures the phase.
class CountingOutput : public updater::OsPageOutput {
public:
    void ShowStatus(const std::string&) override { ++updates; }
    void SetProgress(int) override { ++updates; }
    void ShowMessageBox(const std::string&) override {}
    long updates = 0;
};

std::vector<uint8_t> writeKernelImage(const fs::path& file) {
    std::vector<uint8_t> image(kImageBytes);
    std::mt19937 rng(5);
    for (auto& b : image) b = static_cast<uint8_t>(rng());
    const uint32_t crc = updater::KernelChecksum(image);
    for (int i = 0; i < 4; ++i) image[16 + i] = static_cast<uint8_t>(crc >> (8 * i));
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
    return image;
}

// The sector file holds the image behind the bootloader's eight sectors.
bool sectorsHoldImage(const fs::path& root, const std::vector<uint8_t>& image) {
    std::ifstream in(root / "flash" / "nand_sectors.bin", std::ios::binary);
    std::vector<char> sectors((std::istreambuf_iterator<char>(in)), {});
    return sectors.size() == 8 * 512 + image.size() &&
           std::equal(image.begin(), image.end(), reinterpret_cast<const uint8_t*>(sectors.data()) + 8 * 512);
}

double timeDd(const fs::path& image, const fs::path& target) {
    fs::remove(target);
    const std::string command = "dd if='" + image.string() + "' of='" + target.string() + "' bs=4096 2>/dev/null";
    const auto start = Clock::now();
    bench::Require(std::system(command.c_str()) == 0, "dd failed");
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double timeKernelPhase(const fs::path& root) {
    fs::remove(root / "flash" / "nand_sectors.bin");
    CountingOutput output;
    std::string filePath;
    const auto start = Clock::now();
    const bool ok = updater::WriteKernel(output, updater::Language::English, filePath);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    bench::Require(ok && fs::file_size(root / "flash" / "nand_sectors.bin") == 8 * 512 + kImageBytes,
                   "the kernel phase failed");
    return seconds;
}

// The driver alone: the image's 4096-byte blocks as write-pages requests, from one buffer.
double timeDriverOnly(const fs::path& root) {
    fs::remove(root / "flash" / "nand_sectors.bin");
    auto buffer = ce::DeviceBuffer::allocate(4096);
    const auto start = Clock::now();
    auto device = ce::Device::open("DSK1:", ce::GENERIC_READ | ce::GENERIC_WRITE, 0, ce::OPEN_ALWAYS, 0x80000080);
    bench::Require(device && buffer, "DSK1: cannot be opened");
    for (uint32_t i = 0; i < kImageBytes / 4096; ++i) {
        const uint32_t record[3] = {8 + 8 * i, 8, buffer->address32()};
        bench::Require((*device)->ioControl(0x222804, record, sizeof record, nullptr, 4) == ce::ERROR_SUCCESS,
                       "a write-pages request failed");
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

uint32_t byteTableEdc(std::span<const uint8_t> bytes) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xD8018001u : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0;
    for (uint8_t b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc;
}

// Seconds for kRepeats checksums of the 128 KiB head.
constexpr int kRepeats = 200;
template <class F>
double edcPass(F&& crc, const std::vector<uint8_t>& head) {
    uint32_t sink = 0;
    const auto start = Clock::now();
    for (int i = 0; i < kRepeats; ++i) sink ^= crc(std::span<const uint8_t>(head));
    const double elapsed = bench::SecondsSince(start);
    if (sink == 0x12345678) std::printf(" ");
    return elapsed;
}

}  // namespace

int main() {
    bench::PrintHeading("kernel_write_bench", "the OS page's kernel phase, a 32 MiB image");
    bench::QuietProgramOutput();
    sim::TempHeadUnit unit;
    const fs::path imagePath = unit.sdcard() / "UpdateXan" / "nk.rom";
    const auto image = writeKernelImage(imagePath);
    const fs::path ddTarget = unit.root() / "dd_target.img";

    timeDd(imagePath, ddTarget);  // warm the page cache
    timeKernelPhase(unit.root());
    bench::Require(sectorsHoldImage(unit.root(), image), "the sector file does not hold the image");
    const auto runs = bench::Interleaved(bench::Runs(), {[&] { return timeDd(imagePath, ddTarget); },
                                                         [&] { return timeKernelPhase(unit.root()); },
                                                         [&] { return timeDriverOnly(unit.root()); }});
    const bench::Samples &dd = runs[0], &kernel = runs[1], &driver = runs[2];

    // The checksum itself, sliced against the byte table, over 128 KiB heads as the page uses it.
    std::vector<uint8_t> head(image.begin(), image.begin() + updater::kKernelChecksumSpan);
    bench::Require(updater::CdRomEdcCrc(head) == byteTableEdc(head), "the sliced CD-ROM-EDC differs from the byte table");
    const auto edc = bench::Interleaved(
        bench::Runs(), {[&] { return edcPass([](std::span<const uint8_t> b) { return updater::CdRomEdcCrc(b); }, head); },
                        [&] { return edcPass(byteTableEdc, head); }});

    const double ratio = kernel.median() / dd.median();
    const double mib = double(kImageBytes) / (1 << 20);
    std::printf("  baseline dd bs=4096     %s  %7.0f MiB/s\n", dd.describe(1000, "ms").c_str(), mib / dd.median());
    std::printf("  kernel check + write    %s  %7.0f MiB/s  (8192 requests through DSK1:)\n",
                kernel.describe(1000, "ms").c_str(), mib / kernel.median());
    std::printf("    of which the driver   %s  (the same requests sent alone)\n", driver.describe(1000, "ms").c_str());
    std::printf("  ratio                   %.2f  (target <= %.1f) %s\n", ratio, kTargetRatio,
                ratio <= kTargetRatio ? "ok" : "MISSED");
    auto rate = [&](const bench::Samples& s) {
        bench::Samples mbs;
        for (double t : s.values) mbs.values.push_back(double(head.size()) * kRepeats / t / 1e6);
        return mbs;
    };
    std::printf("  CD-ROM-EDC checksum, sliced tables  %s\n", rate(edc[0]).describe(1, "MB/s", 0).c_str());
    std::printf("  CD-ROM-EDC checksum, byte table     %s  (sliced: %.1f x)\n",
                rate(edc[1]).describe(1, "MB/s", 0).c_str(), edc[1].median() / edc[0].median());
    bench::PrintMachineAfter();
    return ratio <= kTargetRatio ? 0 : 1;
}
