#pragma once
// The system update package on a head unit's SD card ("\SDMMC Card\UpdateXan"): version
// files, bootloader, kernel with its checksum, OPTION logo and option files, SFLASH bitmaps,
// MCU image, Bluetooth image with its DFU suffix, the VR DB package with a stand-in installer
// and the panel package. Each part is generated (deterministic bytes from a seed) unless a
// host file is given, and each can be left out.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace hu {

// The parts a package can leave out (--without).
inline const std::vector<std::string> kPackageParts = {"osver", "micomver", "btver", "tcboot", "kernel", "logo",
                                                       "option", "sflash", "micom", "bt", "vrdb", "panel"};

struct UpdatePackageOptions {
    std::string osVersion = "1.0.1";
    std::string micomVersion = "1.0.1";
    std::string bluetoothVersion = "1.0.1";
    bool versionLineEnd = false;  // version files end in "\r\n" (then never equal to the registry)

    std::filesystem::path bootloaderFile;  // empty: generated
    uint32_t bootloaderSize = 16 * 1024;
    std::filesystem::path kernelFile;      // given images get their checksum written too
    uint32_t kernelSize = 256 * 1024;
    bool badKernelChecksum = false;
    std::filesystem::path logoFile;        // kept under its own name when it ends in "LGO"
    uint32_t logoSize = 5000;
    std::filesystem::path optionFile;      // kept under its own name when it ends in "ORV"
    std::vector<std::filesystem::path> sflashFiles;  // empty: three generated bitmaps
    std::filesystem::path micomFile;
    std::optional<uint32_t> micomSize;     // default: the simulated MCU's flash size
    std::filesystem::path bluetoothFile;   // a DFU suffix is added unless it has a valid one
    uint32_t bluetoothSize = 10340;        // firmware bytes before the suffix
    std::vector<std::filesystem::path> panelFiles;  // the panel package's files (empty: its default)

    std::set<std::string> without;  // parts left out
    bool addToExisting = false;      // add to the card's package instead of replacing it
    uint32_t seed = 1;
};

// Builds the package; progress gets one line per part. Throws std::runtime_error with a
// one-line message when something cannot be read or written.
void buildUpdatePackage(const std::filesystem::path& headUnitDir, const UpdatePackageOptions& options,
                        const std::function<void(const std::string&)>& progress);

// The kernel checksum (CRC-32/CD-ROM-EDC over the first 128 KiB without bytes 16 to 23) and
// the DFU 1.1 suffix, as the package carries them.
uint32_t packageKernelChecksum(const std::string& image);
std::string withDfuSuffix(const std::string& firmware);
bool hasValidDfuSuffix(const std::string& image);

}  // namespace hu
