#include "tools/hu/panel_package.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "installer/crc/crc32.h"
#include "platform/core/profile.h"

namespace hu {
namespace fs = std::filesystem;

namespace {

constexpr const char* kPackageIni =
    "; The guidance panel's package: each source folder next to this file is installed into\r\n"
    "; its destination folder and checked against the list <source>.crc.\r\n"
    "[Source]\r\n"
    "src1 = ZEK\r\n"
    "\r\n"
    "[Destination]\r\n"
    "dst1 = \\NAND Flash\\ZEK\r\n";

[[noreturn]] void fail(const std::string& what, const fs::path& path, const std::error_code& ec = {}) {
    throw std::runtime_error(fmt::format("{} {}{}", what, path.string(), ec ? ": " + ec.message() : ""));
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail("cannot read", path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) fail("cannot write", path);
}

fs::path sdCardOf(const fs::path& headUnitDir) {
    auto profile = ce::Profile::load(headUnitDir);
    if (!profile) throw std::runtime_error(fmt::format("{} is no head unit (hu init makes one)", headUnitDir.string()));
    for (const auto& mount : profile->mounts())
        if (mount.devicePath == "\\SDMMC Card") return mount.host;
    throw std::runtime_error(fmt::format("{} has no \"\\SDMMC Card\" mount", headUnitDir.string()));
}

fs::path besideHu(const char* name) {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path(name) : self.parent_path() / name;
}

// A small 24-bit BMP of one colour: a stand-in for one of the panel's pictures.
std::string standInBitmap(int width, int height, uint32_t rgb) {
    const int rowBytes = (width * 3 + 3) / 4 * 4;
    const int size = 54 + rowBytes * height;
    std::string b;
    auto put = [&b](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    b += "BM";
    put(static_cast<uint32_t>(size), 4);
    put(0, 4);
    put(54, 4);
    put(40, 4);
    put(static_cast<uint32_t>(width), 4);
    put(static_cast<uint32_t>(height), 4);
    put(1, 2);
    put(24, 2);
    put(0, 4);
    put(static_cast<uint32_t>(rowBytes * height), 4);
    put(2835, 4);
    put(2835, 4);
    put(0, 4);  // colours used
    put(0, 4);  // important colours
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) put(rgb, 3);  // stored as blue, green, red
        for (int p = width * 3; p < rowBytes; ++p) b += '\0';
    }
    return b;
}

void writeStandIns(const fs::path& zek) {
    const fs::path panelProgram = besideHu("Kelo_ZEK");
    if (fs::is_regular_file(panelProgram)) {
        fs::copy_file(panelProgram, zek / "Kelo_ZEK.exe");
    } else {
        writeFile(zek / "Kelo_ZEK.exe", "Stand-in for the guidance panel program Kelo_ZEK.\r\n");
    }
    fs::create_directories(zek / "Kelo_ZEK_IMG");
    writeFile(zek / "Kelo_ZEK_IMG" / "BG_H.bmp", standInBitmap(400, 80, 0x203040));
    writeFile(zek / "Kelo_ZEK_IMG" / "BG_V.bmp", standInBitmap(120, 400, 0x203040));
    writeFile(zek / "Kelo_ZEK_IMG" / "TURN_L.bmp", standInBitmap(64, 64, 0xF2A900));
    writeFile(zek / "Kelo_ZEK_IMG" / "TURN_R.bmp", standInBitmap(64, 64, 0xF2A900));
    const fs::path font = "/usr/share/fonts/truetype/nanum/NanumGothic.ttf";
    if (fs::is_regular_file(font)) fs::copy_file(font, zek / "NanumGothic.ttf");
}

void copyGiven(const std::vector<fs::path>& given, const fs::path& zek) {
    for (const auto& path : given) {
        std::error_code ec;
        const fs::path target = zek / path.filename();
        if (fs::is_directory(path)) {
            fs::copy(path, target, fs::copy_options::recursive, ec);
        } else if (fs::is_regular_file(path)) {
            fs::copy_file(path, target, fs::copy_options::overwrite_existing, ec);
        } else {
            fail("no such file or folder:", path);
        }
        if (ec) fail("cannot copy", path, ec);
    }
}

// "relative\path:XXXXXXXX" lines for every file under folder, in name order.
std::string checksumList(const fs::path& folder, int* files) {
    std::vector<fs::path> paths;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    std::string list;
    for (const auto& path : paths) {
        std::string relative = fs::relative(path, folder).generic_string();
        std::replace(relative.begin(), relative.end(), '/', '\\');
        const std::string bytes = readFile(path);
        list += fmt::format("{}:{:08X}\r\n", relative, installer::Crc32(bytes.data(), bytes.size()));
    }
    *files = static_cast<int>(paths.size());
    return list;
}

}  // namespace

PanelPackage buildPanelPackage(const fs::path& headUnitDir, const PanelPackageOptions& options,
                               const std::function<void(const std::string&)>& progress) {
    auto say = [&progress](const std::string& line) {
        if (progress) progress(line);
    };
    const fs::path installer = options.installerProgram.empty() ? besideHu("ZEK_Update") : options.installerProgram;
    if (!fs::is_regular_file(installer)) fail("the installer program is missing:", installer);

    PanelPackage package;
    package.folder = sdCardOf(headUnitDir) / "UpdateXan" / "ZEK_Update";
    std::error_code ec;
    fs::remove_all(package.folder, ec);
    if (ec) fail("cannot clear", package.folder, ec);
    const fs::path zek = package.folder / "ZEK";
    fs::create_directories(zek, ec);
    if (ec) fail("cannot create", zek, ec);

    say("panel package: installer program");
    fs::copy_file(installer, package.folder / "ZEK_Update.exe", ec);
    if (ec) fail("cannot copy", installer, ec);
    fs::permissions(package.folder / "ZEK_Update.exe", fs::perms::owner_all | fs::perms::group_read |
                                                           fs::perms::group_exec | fs::perms::others_read |
                                                           fs::perms::others_exec);
    writeFile(package.folder / "ZEK_Update.ini", kPackageIni);

    say("panel package: panel files");
    if (options.panelFiles.empty()) {
        writeStandIns(zek);
    } else {
        copyGiven(options.panelFiles, zek);
    }
    say("panel package: checksum list");
    writeFile(package.folder / "ZEK.crc", checksumList(zek, &package.files));
    return package;
}

}  // namespace hu
