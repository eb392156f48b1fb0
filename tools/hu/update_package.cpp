#include "tools/hu/update_package.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "platform/core/profile.h"
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

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("cannot read {}", path.string()));
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, std::string_view bytes) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error(fmt::format("cannot write {}", path.string()));
}

std::string generated(uint32_t seed, uint32_t part, size_t size) {
    std::mt19937 random(seed * 1000003u + part);
    std::string bytes(size, '\0');
    for (auto& b : bytes) b = static_cast<char>(random() & 0xFF);
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

uint32_t dfuCrc(const std::string& image) { return crcReflected(image, 0, image.size() - 4, 0xFFFFFFFF, 0xEDB88320); }

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
    }

    void build() {
        if (!options_.keepExisting) {
            std::error_code ec;
            fs::remove_all(root_, ec);
            if (ec) throw std::runtime_error(fmt::format("cannot remove {}: {}", root_.string(), ec.message()));
        }
        fs::create_directories(root_);
        const std::string lineEnd = options_.versionLineEnd ? "\r\n" : "";
        if (wanted("osver")) put("OSVer.bin", options_.osVersion + lineEnd);
        if (wanted("micomver")) put("MicomVer.bin", options_.micomVersion + lineEnd);
        if (wanted("btver")) put("BTVer.bin", options_.bluetoothVersion + lineEnd);
        if (wanted("tcboot")) put("tcBoot.rom", given(options_.bootloaderFile, 1, options_.bootloaderSize));
        if (wanted("kernel")) put("nk.rom", kernel());
        if (wanted("logo")) putNamed("OPTION", options_.logoFile, "LGO", "BOOT.LGO", given(options_.logoFile, 3, options_.logoSize));
        if (wanted("option")) putNamed("OPTION", options_.optionFile, "ORV", "PIMCONFIG.ORV", option());
        if (wanted("sflash")) sflash();
        if (wanted("micom")) put("MICOM.BIN", given(options_.micomFile, 4, options_.micomSize.value_or(mcuFlashSize_)));
        if (wanted("bt")) put("BT.bin", bluetooth());
        if (wanted("vrdb")) vrdb();
        if (wanted("panel")) panel();
    }

private:
    bool wanted(const std::string& part) const { return !options_.without.count(part); }

    std::string given(const fs::path& file, uint32_t part, size_t size) const {
        return file.empty() ? generated(options_.seed, part, size) : readFile(file);
    }

    void put(const fs::path& relative, const std::string& bytes) {
        writeFile(root_ / relative, bytes);
        progress_(fmt::format("{:<40} {:>10} bytes", relative.generic_string(), bytes.size()));
    }

    void putNamed(const char* folder, const fs::path& file, const std::string& suffix, const char* fallback,
                  const std::string& bytes) {
        const std::string name = file.filename().string();
        put(fs::path(folder) / (!file.empty() && endsWithNoCase(name, suffix) ? name : fallback), bytes);
    }

    std::string kernel() const {
        std::string image = given(options_.kernelFile, 2, options_.kernelSize);
        if (image.size() < 20) throw std::runtime_error("a kernel image needs at least 20 bytes to hold its checksum");
        putLe32(image, 16, packageKernelChecksum(image) ^ (options_.badKernelChecksum ? 0x1u : 0x0u));
        return image;
    }

    std::string option() const {
        if (!options_.optionFile.empty()) return readFile(options_.optionFile);
        return fmt::format("[PimConfig]\r\nSeed={}\r\nRegion=1\r\nLanguage=949\r\n", options_.seed);
    }

    std::string bluetooth() const {
        std::string image = given(options_.bluetoothFile, 5, options_.bluetoothSize);
        return hasValidDfuSuffix(image) ? image : withDfuSuffix(image);
    }

    void sflash() {
        if (options_.sflashFiles.empty()) {
            const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF};
            for (int i = 0; i < 3; ++i) {
                put(fmt::format("SFLASH/IMG_{:02}.bmp", i + 1), bitmap(16 + 8 * i, 8, colours[i] ^ options_.seed));
            }
            return;
        }
        for (const auto& file : options_.sflashFiles) put(fs::path("SFLASH") / file.filename(), readFile(file));
    }

    void vrdb() {
        for (const char* file : kVrdbFiles) {
            put(fs::path("VRDB_Update") / file, generated(options_.seed, 100 + uint32_t(std::hash<std::string>()(file) & 0xFFFF), 64));
        }
        put("VRDB_Update/VRDB_Update.exe", kVrdbInstallerStandIn);
        fs::permissions(root_ / "VRDB_Update" / "VRDB_Update.exe",
                        fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec, fs::perm_options::add);
    }

    void panel() {
        PanelPackageOptions panelOptions;
        panelOptions.panelFiles = options_.panelFiles;
        const PanelPackage package = buildPanelPackage(dir_, panelOptions, progress_);
        progress_(fmt::format("{:<40} {:>10} files", "ZEK_Update (panel package)", package.files));
    }

    fs::path dir_;
    fs::path root_;
    const UpdatePackageOptions& options_;
    const std::function<void(const std::string&)>& progress_;
    uint32_t mcuFlashSize_ = kDefaultMcuFlashSize;
};

}  // namespace

uint32_t packageKernelChecksum(const std::string& image) {
    const size_t end = std::min<size_t>(image.size(), 128 * 1024);
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
