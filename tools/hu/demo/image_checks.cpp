// The images of the package against the places they were written to: the NAND regions, the
// MCU's flash and the image the Bluetooth module received.

#include <algorithm>
#include <initializer_list>

#include <fmt/format.h>

#include "platform/core/text.h"
#include "sim/nand/flash_image.h"
#include "tools/hu/demo/checks.h"
#include "tools/hu/demo/host_file.h"

namespace hu::demo {

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kLogoOffset = 1 * sim::kNandPageSize;    // hidden page 0 is never written
constexpr uint64_t kKernelOffset = 8 * sim::kNandPageSize;  // sectors 0 to 7 are not the kernel's
constexpr size_t kDfuSuffixSize = 16;

fs::path packageDir(const fs::path& root) { return root / "sdcard" / "UpdateXan"; }

std::vector<uint8_t> readFile(const fs::path& file, bool& found) {
    auto bytes = readHostFile(file);
    found = bytes.has_value();
    return bytes ? std::move(*bytes) : std::vector<uint8_t>{};
}

// One debug message out of a line of the log. Some messages end without a line end, so the
// next message may follow on the same line: it is cut off where a message of the updater, the
// MCU library or the Bluetooth engine begins.
std::string messageAt(const std::string& line, size_t start) {
    size_t end = line.find_first_of("\r\n", start);
    if (end == std::string::npos) end = line.size();
    for (const char* next : {"###", "@ DELETE", "= UPDATEMICOM", "$$", "??? ", "- Fail", "[dfu", "[Bluetooth"}) {
        size_t at = line.find(next, start + 1);
        if (at != std::string::npos && at < end) end = at;
    }
    std::string message = line.substr(start, end - start);
    while (!message.empty() && message.back() == ' ') message.pop_back();
    return message;
}

// The updater's own words about a failure: the latest debug line holding one of the fragments.
std::string updaterSaid(const DesktopRecord& run, std::initializer_list<const char*> fragments) {
    for (auto it = run.updaterLog.rbegin(); it != run.updaterLog.rend(); ++it) {
        for (const char* fragment : fragments) {
            if (it->text.find(fragment) == std::string::npos) continue;
            return "; the updater logged \"" + messageAt(it->text, it->text.find(fragment)) + "\"";
        }
    }
    return {};
}

// The last status an OS page showed for one phase ("Fail... [BOOTLOADER]").
std::string osPageSaid(const DesktopRecord& run, const std::string& phase) {
    for (auto it = run.visits.rbegin(); it != run.visits.rend(); ++it) {
        if (it->kind != PageKind::Os) continue;
        auto texts = it->texts.find(1002);
        if (texts == it->texts.end()) continue;
        for (auto t = texts->second.rbegin(); t != texts->second.rend(); ++t)
            if (t->text.find(phase) != std::string::npos) return "; the OS page showed \"" + t->text + "\"";
    }
    return run.visitsOf(PageKind::Os).empty() ? "; the OS update never ran" : "";
}

CheckResult compareImage(std::string name, const fs::path& packageFile, const std::vector<uint8_t>& actual,
                         const std::string& hint) {
    bool found = false;
    std::vector<uint8_t> expected = readFile(packageFile, found);
    if (!found) return {std::move(name), false, packageFile.filename().string() + " is not in the package"};
    std::string difference = firstDifference(expected, actual);
    if (difference.empty()) return {std::move(name), true, fmt::format("equal ({} bytes)", expected.size())};
    return {std::move(name), false, difference + hint};
}

// The logo file the updater takes: the first entry of OPTION (in name order, regardless of
// case) whose upper-cased name ends in "LGO".
fs::path logoFile(const fs::path& root) {
    std::vector<fs::path> names;
    std::error_code ec;
    for (fs::directory_iterator it(packageDir(root) / "OPTION", ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file()) names.push_back(it->path());
    std::sort(names.begin(), names.end(), [](const fs::path& a, const fs::path& b) {
        return ce::asciiLower(a.filename().string()) < ce::asciiLower(b.filename().string());
    });
    for (const auto& name : names) {
        std::string upper = name.filename().string();
        std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (upper.size() >= 3 && upper.compare(upper.size() - 3, 3, "LGO") == 0) return name;
    }
    return {};
}

}  // namespace

std::string firstDifference(const std::vector<uint8_t>& expected, const std::vector<uint8_t>& actual) {
    const size_t common = std::min(expected.size(), actual.size());
    for (size_t i = 0; i < common; ++i) {
        if (expected[i] != actual[i])
            return fmt::format("differs from byte 0x{:X} on (0x{:02X} instead of 0x{:02X})", i, actual[i], expected[i]);
    }
    if (actual.size() < expected.size()) {
        if (actual.empty()) return fmt::format("holds none of the {} bytes", expected.size());
        return fmt::format("holds only {} of the {} bytes", actual.size(), expected.size());
    }
    if (actual.size() > expected.size())
        return fmt::format("holds {} bytes more than the {} expected", actual.size() - expected.size(), expected.size());
    return {};
}

CheckResult checkBootloader(const fs::path& root, const DesktopRecord& run) {
    return compareImage("bootloader area = tcBoot.rom", packageDir(root) / "tcBoot.rom",
                        sim::FlashImage(root).read(sim::FlashRegion::Bootloader), osPageSaid(run, "[BOOTLOADER]"));
}

CheckResult checkLogo(const fs::path& root, const DesktopRecord& run) {
    const fs::path logo = logoFile(root);
    if (logo.empty()) return {"hidden pages from 1 = the logo", false, "the package holds no logo file in OPTION"};
    const auto size = fs::file_size(logo);
    return compareImage("hidden pages from 1 = " + logo.filename().string(), logo,
                        sim::FlashImage(root).read(sim::FlashRegion::Hidden, kLogoOffset, size),
                        updaterSaid(run, {"Multi Hidden Area Write Error"}) + osPageSaid(run, "[LOGO]"));
}

CheckResult checkKernel(const fs::path& root, const DesktopRecord& run) {
    const fs::path kernel = packageDir(root) / "nk.rom";
    std::error_code ec;
    const auto size = fs::file_size(kernel, ec);
    // A sector area that ends before the kernel's first sector holds none of it.
    const sim::FlashImage image(root);
    std::error_code sizeError;
    const auto written = fs::file_size(image.file(sim::FlashRegion::Sectors), sizeError);
    std::vector<uint8_t> flash;
    if (!ec && !sizeError && written > kKernelOffset) flash = image.read(sim::FlashRegion::Sectors, kKernelOffset, size);
    return compareImage("sectors from 8 = nk.rom", kernel, flash,
                        updaterSaid(run, {"[ERROR] CRC Check is Failed", "Nand_HDWritePage Error"}) +
                            osPageSaid(run, "[KERNEL]"));
}

CheckResult checkMcuFlash(const fs::path& root, uint32_t lastAddress, const DesktopRecord& run) {
    const std::string name = fmt::format("MCU flash 0..{:05X} = MICOM.BIN", lastAddress);
    bool found = false;
    std::vector<uint8_t> expected = readFile(packageDir(root) / "MICOM.BIN", found);
    if (!found) return {name, false, "MICOM.BIN is not in the package"};
    expected.resize(size_t{lastAddress} + 1, 0x00);  // blocks beyond the file are programmed as zeros
    std::vector<uint8_t> flash = readFile(root / "flash" / "mcu_flash.bin", found);
    if (flash.size() > expected.size()) flash.resize(expected.size());
    std::string difference = firstDifference(expected, flash);
    if (difference.empty()) return {name, true, fmt::format("equal ({} bytes)", expected.size())};
    std::string hint = updaterSaid(run, {"??? Error code", "- Fail : ", "Connection FAILED", "ERROR : CreateFile"});
    if (run.visitsOf(PageKind::Mcu).empty() && !run.logged("UPDATEMICOM")) hint += "; the MCU update never ran";
    return {name, false, difference + hint};
}

CheckResult checkBluetooth(const fs::path& root, bool expectUpdate, const DesktopRecord& run) {
    bool received = false;
    std::vector<uint8_t> image = readFile(root / "flash" / "bt_image.bin", received);
    if (!expectUpdate) {
        if (!received && run.visitsOf(PageKind::Bluetooth).empty())
            return {"Bluetooth module untouched", true, "no Bluetooth step, no image received"};
        return {"Bluetooth module untouched", false,
                received ? fmt::format("the module received an image of {} bytes", image.size())
                         : std::string("a Bluetooth page ran")};
    }
    const std::string name = "Bluetooth module received BT.bin without its suffix";
    bool found = false;
    std::vector<uint8_t> expected = readFile(packageDir(root) / "BT.bin", found);
    if (!found) return {name, false, "BT.bin is not in the package"};
    if (expected.size() < kDfuSuffixSize) return {name, false, "BT.bin is shorter than its DFU suffix"};
    expected.resize(expected.size() - kDfuSuffixSize);
    std::string hint = updaterSaid(run, {"[Bluetooth Update] Failed!!!", "no Bluetooth page"});
    if (run.visitsOf(PageKind::Bluetooth).empty() && !run.logged("[FAIL] Bluetooth")) hint += "; the Bluetooth update never ran";
    if (!received) return {name, false, "the module received no image" + hint};
    std::string difference = firstDifference(expected, image);
    if (difference.empty()) return {name, true, fmt::format("equal ({} bytes)", expected.size())};
    return {name, false, "the received image " + difference + hint};
}

}  // namespace hu::demo
