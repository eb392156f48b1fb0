#include "tools/hu/panel_package.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <vector>

#include "installer/crc/crc32.h"
#include "platform/core/profile.h"
#include "platform/core/text.h"
#include "tools/hu/card_files.h"

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

void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) fail("cannot write", path);
}

}  // namespace

ce::Profile loadProfile(const fs::path& headUnitDir) {
    std::string problem;
    auto profile = ce::Profile::load(headUnitDir, &problem);
    if (!profile && (profile.error() == ce::ERROR_FILE_NOT_FOUND || profile.error() == ce::ERROR_PATH_NOT_FOUND))
        throw std::runtime_error(fmt::format("{} is no head unit (hu init makes one)", headUnitDir.string()));
    if (!profile) throw std::runtime_error(problem);
    return std::move(*profile);
}

namespace {

fs::path sdCardOf(const ce::Profile& profile, const fs::path& headUnitDir) {
    for (const auto& mount : profile.mounts())
        if (mount.devicePath == "\\SDMMC Card") return mount.host;
    throw std::runtime_error(fmt::format("{} has no \"\\SDMMC Card\" mount", headUnitDir.string()));
}

fs::path besideHu(const fs::path& name) {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? name : self.parent_path() / name;
}

constexpr const char* kFontFile = "/usr/share/fonts/truetype/nanum/NanumGothic.ttf";
constexpr int kPanelImages = 76;

void copyFile(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) fail("cannot copy", from, ec);
}

// The panel as built: the program, its 76 bitmaps (drawn by the build) and the font.
void writeBuiltPanel(const fs::path& zek) {
    const fs::path program = besideHu("Kelo_ZEK");
    const fs::path images = besideHu("../share/headunit/Kelo_ZEK_IMG").lexically_normal();
    if (!fs::is_regular_file(program)) fail("the panel program is not built (scripts/build makes it):", program);
    if (!fs::is_regular_file(kFontFile)) fail("the panel's font is missing (the Debian package fonts-nanum has it):", kFontFile);
    std::vector<fs::path> bitmaps;
    std::error_code ec;
    for (fs::directory_iterator it(images, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file()) bitmaps.push_back(it->path());
    if (static_cast<int>(bitmaps.size()) != kPanelImages)
        throw std::runtime_error(fmt::format("the panel's bitmaps are not built: {} holds {} of {} (scripts/build draws them)",
                                             images.string(), bitmaps.size(), kPanelImages));
    copyFile(program, zek / "Kelo_ZEK.exe");
    fs::permissions(zek / "Kelo_ZEK.exe", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                              fs::perms::others_read | fs::perms::others_exec);
    fs::create_directories(zek / "Kelo_ZEK_IMG");
    for (const auto& bitmap : bitmaps) copyFile(bitmap, zek / "Kelo_ZEK_IMG" / bitmap.filename());
    copyFile(kFontFile, zek / "NanumGothic.ttf");
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

uint32_t fileCrc(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail("cannot read", path);
    std::vector<char> block(64 * 1024);
    uint32_t crc = 0xFFFFFFFFu;
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0)
        crc = installer::Crc32Update(crc, block.data(), static_cast<size_t>(in.gcount()));
    if (in.bad()) fail("cannot read", path);
    return ~crc;
}

// "relative\path:XXXXXXXX" lines for every file under folder, in name order, the names in the
// head unit's ANSI code page (the installer reads the list as 8-bit text in that code page).
std::string checksumList(const fs::path& folder, uint32_t codePage, int* files) {
    std::vector<fs::path> paths;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    std::string list;
    for (const auto& path : paths) {
        std::string relative = fs::relative(path, folder).generic_string();
        std::replace(relative.begin(), relative.end(), '/', '\\');
        list += fmt::format("{}:{:08X}\r\n", checksumListName(relative, codePage), fileCrc(path));
    }
    *files = static_cast<int>(paths.size());
    return list;
}

}  // namespace

std::string checksumListName(const std::string& relativeUtf8, uint32_t codePage) {
    if (relativeUtf8.find(':') != std::string::npos)
        throw std::runtime_error(fmt::format("the file name \"{}\" holds ':', which ends the name in a checksum list", relativeUtf8));
    std::string ansi = ce::utf8ToAnsi(relativeUtf8, codePage);
    if (ce::ansiToUtf8(ansi, codePage) != relativeUtf8)
        throw std::runtime_error(
            fmt::format("the file name \"{}\" cannot be written in the head unit's code page {}", relativeUtf8, codePage));
    return ansi;
}

PanelPackage buildPanelPackage(const fs::path& headUnitDir, const PanelPackageOptions& options,
                               const std::function<void(const std::string&)>& progress) {
    auto say = [&progress](const std::string& line) {
        if (progress) progress(line);
    };
    const fs::path installer = options.installerProgram.empty() ? besideHu("ZEK_Update") : options.installerProgram;
    if (!fs::is_regular_file(installer)) fail("the installer program is missing:", installer);

    PanelPackage package;
    const ce::Profile profile = loadProfile(headUnitDir);
    std::optional<StagedFolder> staged;
    if (options.folder.empty()) {
        package.folder = sdCardOf(profile, headUnitDir) / "UpdateXan" / "ZEK_Update";
        staged.emplace(package.folder, false);
    }
    const fs::path out = staged ? staged->path() : options.folder;
    std::error_code ec;
    if (!staged && !fs::create_directory(out, ec)) fail("cannot create", out, ec);
    const fs::path zek = out / "ZEK";
    fs::create_directories(zek, ec);
    if (ec) fail("cannot create", zek, ec);

    say("panel package: installer program");
    fs::copy_file(installer, out / "ZEK_Update.exe", ec);
    if (ec) fail("cannot copy", installer, ec);
    fs::permissions(out / "ZEK_Update.exe", fs::perms::owner_all | fs::perms::group_read |
                                                           fs::perms::group_exec | fs::perms::others_read |
                                                           fs::perms::others_exec);
    writeFile(out / "ZEK_Update.ini", kPackageIni);

    say("panel package: panel files");
    if (options.panelFiles.empty()) {
        writeBuiltPanel(zek);
    } else {
        copyGiven(options.panelFiles, zek);
    }
    say("panel package: checksum list");
    writeFile(out / "ZEK.crc", checksumList(zek, profile.ansiCodePage(), &package.files));
    if (staged) staged->commit();
    else package.folder = out;
    return package;
}

}  // namespace hu
