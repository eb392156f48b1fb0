#include "tools/hu/update_package.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <random>
#include <stdexcept>

#include "platform/core/profile.h"
#include "installer/crc/crc32.h"
#include "tools/hu/card_files.h"
#include "tools/hu/panel_package.h"

namespace hu {
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kDefaultMcuFlashSize = 0xF000;

const char* const kVrdbFiles[] = {
    "BackupDB/CNC/ORV.adaptDict", "BackupDB/CNC/ORV.dict",        "BackupDB/CNC/ORV.hmm",
    "BackupDB/CNC/ORV.hmmF",      "BackupDB/CNC/ORV.hmmPhone",    "BackupDB/CNC/ORV.hmmPhoneF",
    "BackupDB/CNC/ORV.recog",     "BackupDB/CNC/ORV.wlist",       "BackupDB/CNC/set.dat",
    "VRDB_Update.ini",            "BackupDB.crc",                 "BackupDB/VSR/hmm.hm",
    "BackupDB/VSR/hmm.hmF",       "BackupDB/VSR/Opensesame.erd",  "BackupDB/VSR/Opensesame.grd",
    "BackupDB/VSR/Opensesame.plf", "BackupDB/VSR/SIL.hm",
};

// The VR DB installer lies outside the system; its stand-in only records each start.
constexpr const char* kVrdbInstallerStandIn =
    "#!/bin/sh\n"
    "# Stand-in for the VR DB installer: records that it was started, nothing else.\n"
    "log=\"${HEADUNIT_ROOT:+$HEADUNIT_ROOT/log}\"\n"
    "log=\"${log:-$(dirname \"$0\")}\"\n"
    "echo \"VRDB_Update.exe started\" >> \"$log/VRDB_Update.log\"\n";

// Deterministic bytes of a part, in chunks (a large generated image never sits in memory).
void generatedChunks(uint32_t seed, uint32_t part, uint64_t size, const ChunkSink& each) {
    std::mt19937 random(seed * 1000003u + part);
    std::string chunk;
    while (size > 0) {
        chunk.resize(static_cast<size_t>(std::min<uint64_t>(size, 1 << 20)));
        for (auto& b : chunk) b = static_cast<char>(random() & 0xFF);
        each(chunk.data(), chunk.size());
        size -= chunk.size();
    }
}

std::string generated(uint32_t seed, uint32_t part, size_t size) {
    std::string bytes;
    generatedChunks(seed, part, size, [&](const char* data, size_t n) { bytes.append(data, n); });
    return bytes;
}

void putLe32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

uint32_t le32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(uint8_t(bytes[at + i])) << (8 * i);
    return v;
}

// Bit by bit, reflected.
uint32_t crcReflected(const std::string& bytes, size_t begin, size_t end, uint32_t crc, uint32_t poly) {
    for (size_t i = begin; i < end; ++i) {
        crc ^= uint8_t(bytes[i]);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) ? poly : 0);
    }
    return crc;
}

uint32_t dfuCrc(const std::string& image) { return installer::Crc32Update(0xFFFFFFFFu, image.data(), image.size() - 4); }

constexpr size_t kKernelChecksumSpan = 128 * 1024;
constexpr size_t kDfuSuffixSize = 16;

std::string versionProblem(const std::string& option, const std::string& version) {
    if (version.empty()) return option + " is empty: a version file needs a version";
    if (version.find_first_of("\r\n") != std::string::npos)
        return option + " holds a line break: the version file would not match the registry (--version-line-end adds one)";
    return {};
}

// A one-colour 24-bit bitmap.
std::string bitmap(int width, int height, uint32_t rgb) {
    const int rowBytes = (width * 3 + 3) / 4 * 4;
    std::string bmp(54 + rowBytes * height, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    putLe32(bmp, 2, static_cast<uint32_t>(bmp.size()));
    putLe32(bmp, 10, 54);
    putLe32(bmp, 14, 40);
    putLe32(bmp, 18, static_cast<uint32_t>(width));
    putLe32(bmp, 22, static_cast<uint32_t>(height));
    bmp[26] = 1;
    bmp[28] = 24;
    putLe32(bmp, 34, static_cast<uint32_t>(rowBytes * height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t at = 54 + size_t(y) * rowBytes + size_t(x) * 3;
            bmp[at] = char(rgb & 0xFF);
            bmp[at + 1] = char((rgb >> 8) & 0xFF);
            bmp[at + 2] = char((rgb >> 16) & 0xFF);
        }
    }
    return bmp;
}

bool endsWithNoCase(const std::string& name, const std::string& suffix) {
    if (name.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        if (std::toupper(uint8_t(name[name.size() - suffix.size() + i])) != suffix[i]) return false;
    }
    return true;
}

// Checks every option and input before the card is touched, then builds the package beside
// the card's one and swaps it in when complete.
class PackageWriter {
public:
    PackageWriter(const fs::path& headUnitDir, const UpdatePackageOptions& options,
                  const std::function<void(const std::string&)>& progress)
        : dir_(headUnitDir), options_(options), progress_(progress) {
        auto profile = loadProfile(headUnitDir);
        for (const auto& mount : profile.mounts()) {
            if (mount.devicePath == "\\SDMMC Card") root_ = mount.host / "UpdateXan";
        }
        if (root_.empty()) throw std::runtime_error(fmt::format("{} has no \"\\SDMMC Card\" mount", dir_.string()));
        const auto& mcu = profile.json().value("sim", nlohmann::json::object()).value("mcu", nlohmann::json::object());
        mcuFlashSize_ = mcu.contains("lastAddress") && mcu["lastAddress"].is_number_unsigned()
                            ? mcu["lastAddress"].get<uint32_t>() + 1
                            : kDefaultMcuFlashSize;
        check();
    }

    void build() {
        StagedFolder staged(root_, options_.addToExisting);
        out_ = staged.path();
        const std::string lineEnd = options_.versionLineEnd ? "\r\n" : "";
        if (wanted("osver")) put("OSVer.bin", options_.osVersion + lineEnd);
        if (wanted("micomver")) put("MicomVer.bin", options_.micomVersion + lineEnd);
        if (wanted("btver")) put("BTVer.bin", options_.bluetoothVersion + lineEnd);
        if (wanted("tcboot")) putImage("tcBoot.rom", options_.bootloaderFile, 1, options_.bootloaderSize);
        if (wanted("kernel")) kernel();
        if (wanted("logo")) putImage(named("OPTION", options_.logoFile, "LGO", "BOOT.LGO"), options_.logoFile, 3, options_.logoSize);
        if (wanted("option")) option();
        if (wanted("sflash")) sflash();
        if (wanted("micom")) putImage("MICOM.BIN", options_.micomFile, 4, options_.micomSize.value_or(mcuFlashSize_));
        if (wanted("bt")) bluetooth();
        if (wanted("vrdb")) vrdb();
        if (wanted("panel")) panel();
        staged.commit();
    }

private:
    bool wanted(const std::string& part) const { return !options_.without.count(part); }

    // Everything that can be refused is refused here, before the card is touched.
    void check() {
        auto refuse = [](const std::string& why) { throw std::runtime_error(why); };
        const std::pair<const char*, const std::string*> versions[] = {
            {"--os-version", &options_.osVersion}, {"--mcu-version", &options_.micomVersion}, {"--bt-version", &options_.bluetoothVersion}};
        const char* parts[] = {"osver", "micomver", "btver"};
        for (int i = 0; i < 3; ++i)
            if (wanted(parts[i])) {
                if (std::string why = versionProblem(versions[i].first, *versions[i].second); !why.empty()) refuse(why);
            }
        auto image = [&](const char* part, const char* what, const char* option, const fs::path& file, uint64_t size) {
            if (!wanted(part)) return;
            if (!file.empty()) inputSize(file, fmt::format("the {} {}", what, option));
            else if (size == 0) refuse(fmt::format("{}-size 0: the {} needs at least one byte", option, what));
        };
        image("tcboot", "bootloader image", "--tcboot", options_.bootloaderFile, options_.bootloaderSize);
        image("kernel", "kernel image", "--kernel", options_.kernelFile, options_.kernelSize);
        image("logo", "logo", "--logo", options_.logoFile, options_.logoSize);
        image("micom", "MCU image", "--micom", options_.micomFile, options_.micomSize.value_or(mcuFlashSize_));
        image("bt", "Bluetooth firmware", "--bt", options_.bluetoothFile, options_.bluetoothSize);
        if (wanted("option") && !options_.optionFile.empty()) inputSize(options_.optionFile, "the option file --option");
        if (wanted("sflash"))
            for (const auto& file : options_.sflashFiles) inputSize(file, "the SFLASH bitmap --sflash");
        if (wanted("kernel")) {
            const uint64_t size = options_.kernelFile.empty() ? options_.kernelSize : inputSize(options_.kernelFile, "the kernel image --kernel");
            if (size < 20) refuse("a kernel image needs at least 20 bytes to hold its checksum");
        }
    }

    fs::path named(const char* folder, const fs::path& file, const std::string& suffix, const char* fallback) const {
        const std::string name = file.filename().string();
        return fs::path(folder) / (!file.empty() && endsWithNoCase(name, suffix) ? name : fallback);
    }

    // Writes one file of the package from a source of chunks; returns its size.
    uint64_t write(const fs::path& relative, const std::function<void(CardFile&)>& fill) {
        makeFolders(out_, relative.parent_path());
        CardFile file(out_ / relative);
        fill(file);
        file.finish();
        progress_(fmt::format("{:<40} {:>10} bytes", relative.generic_string(), file.size()));
        return file.size();
    }

    void put(const fs::path& relative, const std::string& bytes) {
        write(relative, [&](CardFile& file) { file.write(bytes); });
    }

    // A given host file, streamed, or generated bytes of the part.
    void source(const fs::path& file, uint32_t part, uint64_t size, const ChunkSink& each) const {
        if (file.empty()) generatedChunks(options_.seed, part, size, each);
        else readChunks(file, each);
    }

    void putImage(const fs::path& relative, const fs::path& file, uint32_t part, uint64_t size) {
        write(relative, [&](CardFile& out) { source(file, part, size, [&](const char* d, size_t n) { out.write(d, n); }); });
    }

    // The checksum covers the first 128 KiB: they are kept aside and the checksum patched in.
    void kernel() {
        write("nk.rom", [&](CardFile& out) {
            std::string head;
            source(options_.kernelFile, 2, options_.kernelSize, [&](const char* d, size_t n) {
                if (head.size() < kKernelChecksumSpan) head.append(d, std::min(n, kKernelChecksumSpan - head.size()));
                out.write(d, n);
            });
            if (head.size() < 20) throw std::runtime_error("a kernel image needs at least 20 bytes to hold its checksum");
            std::string checksum(4, '\0');
            putLe32(checksum, 0, packageKernelChecksum(head) ^ (options_.badKernelChecksum ? 0x1u : 0x0u));
            out.patch(16, checksum.data(), checksum.size());
        });
    }

    void option() {
        if (options_.optionFile.empty()) {
            put(named("OPTION", options_.optionFile, "ORV", "PIMCONFIG.ORV"),
                fmt::format("[PimConfig]\r\nSeed={}\r\nRegion=1\r\nLanguage=949\r\n", options_.seed));
            return;
        }
        putImage(named("OPTION", options_.optionFile, "ORV", "PIMCONFIG.ORV"), options_.optionFile, 0, 0);
    }

    // Written as given when it ends in a valid DFU suffix, else with one added; the suffix's
    // CRC covers everything before its own four bytes.
    void bluetooth() {
        uint64_t size = options_.bluetoothFile.empty() ? options_.bluetoothSize : inputSize(options_.bluetoothFile, "the Bluetooth firmware --bt");
        write("BT.bin", [&](CardFile& out) {
            uint32_t crcAll = 0xFFFFFFFFu, crcHead = 0xFFFFFFFFu;
            uint64_t seen = 0;
            std::string tail;
            source(options_.bluetoothFile, 5, size, [&](const char* d, size_t n) {
                crcAll = installer::Crc32Update(crcAll, d, n);
                if (size >= 4 && seen < size - 4)
                    crcHead = installer::Crc32Update(crcHead, d, static_cast<size_t>(std::min<uint64_t>(n, size - 4 - seen)));
                tail.append(d, n);
                if (tail.size() > kDfuSuffixSize) tail.erase(0, tail.size() - kDfuSuffixSize);
                seen += n;
                out.write(d, n);
            });
            const bool valid = tail.size() == kDfuSuffixSize && tail.compare(8, 3, "UFD") == 0 && uint8_t(tail[11]) == 16 &&
                               le32(tail, 12) == crcHead;
            if (valid) return;
            // bcdDevice, idProduct, idVendor (0xFFFF: any), bcdDFU 1.0, "UFD", bLength 16, dwCRC.
            std::string suffix = {'\xFF', '\xFF', '\xFF', '\xFF', '\xFF', '\xFF', 0x00, 0x01, 'U', 'F', 'D', 16};
            std::string crc(4, '\0');
            putLe32(crc, 0, installer::Crc32Update(crcAll, suffix.data(), suffix.size()));
            out.write(suffix + crc);
        });
    }

    void sflash() {
        if (options_.sflashFiles.empty()) {
            const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF};
            for (int i = 0; i < 3; ++i) {
                put(fmt::format("SFLASH/IMG_{:02}.bmp", i + 1), bitmap(16 + 8 * i, 8, colours[i] ^ options_.seed));
            }
            return;
        }
        for (const auto& file : options_.sflashFiles) putImage(fs::path("SFLASH") / file.filename(), file, 0, 0);
    }

    void vrdb() {
        for (const char* file : kVrdbFiles) {
            put(fs::path("VRDB_Update") / file, generated(options_.seed, 100 + uint32_t(std::hash<std::string>()(file) & 0xFFFF), 64));
        }
        put("VRDB_Update/VRDB_Update.exe", kVrdbInstallerStandIn);
        fs::permissions(out_ / "VRDB_Update" / "VRDB_Update.exe",
                        fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec, fs::perm_options::add);
    }

    void panel() {
        PanelPackageOptions panelOptions;
        panelOptions.panelFiles = options_.panelFiles;
        panelOptions.folder = out_ / "ZEK_Update";
        std::error_code ec;
        fs::remove_all(panelOptions.folder, ec);  // kept by --add: replaced as a whole
        const PanelPackage package = buildPanelPackage(dir_, panelOptions, progress_);
        progress_(fmt::format("{:<40} {:>10} files", "ZEK_Update (panel package)", package.files));
    }

    fs::path dir_;
    fs::path root_;  // the card's package folder
    fs::path out_;   // the folder being built
    const UpdatePackageOptions& options_;
    const std::function<void(const std::string&)>& progress_;
    uint32_t mcuFlashSize_ = kDefaultMcuFlashSize;
};

}  // namespace

uint32_t packageKernelChecksum(const std::string& image) {
    const size_t end = std::min<size_t>(image.size(), kKernelChecksumSpan);
    uint32_t crc = crcReflected(image, 0, std::min<size_t>(end, 16), 0, 0xD8018001);
    if (end > 24) crc = crcReflected(image, 24, end, crc, 0xD8018001);
    return crc;
}

std::string withDfuSuffix(const std::string& firmware) {
    std::string image = firmware;
    // bcdDevice, idProduct, idVendor (0xFFFF: any), bcdDFU 1.0, "UFD", bLength 16, dwCRC.
    const char suffix[12] = {'\xFF', '\xFF', '\xFF', '\xFF', '\xFF', '\xFF', 0x00, 0x01, 'U', 'F', 'D', 16};
    image.append(suffix, sizeof suffix);
    image.append(4, '\0');
    putLe32(image, image.size() - 4, dfuCrc(image));
    return image;
}

bool hasValidDfuSuffix(const std::string& image) {
    if (image.size() < 16) return false;
    const size_t s = image.size() - 16;
    return image.compare(s + 8, 3, "UFD") == 0 && uint8_t(image[s + 11]) == 16 && le32(image, s + 12) == dfuCrc(image);
}

void buildUpdatePackage(const fs::path& headUnitDir, const UpdatePackageOptions& options,
                        const std::function<void(const std::string&)>& progress) {
    PackageWriter(headUnitDir, options, progress).build();
}

}  // namespace hu
