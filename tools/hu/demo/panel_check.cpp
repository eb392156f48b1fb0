// The panel package after the ZEK button: installed files, the checksum log, the result text.

#include <fstream>
#include <map>
#include <system_error>

#include <fmt/format.h>

#include "tools/hu/demo/checks.h"
#include "tools/hu/demo/host_file.h"

namespace hu::demo {

namespace fs = std::filesystem;

namespace {

constexpr int kInstallerStatus = 1000;
// The installer's success text (it speaks Korean whatever the code page).
constexpr const char* kInstallSucceeded = "업그레이드가 정상적으로 완료 되었습니다.";

// Every file under a folder by its path relative to it, with its bytes.
std::map<std::string, std::vector<uint8_t>> filesUnder(const fs::path& folder) {
    std::map<std::string, std::vector<uint8_t>> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        files[fs::relative(it->path(), folder).generic_string()] = readHostFile(it->path()).value_or(std::vector<uint8_t>{});
    }
    return files;
}

}  // namespace

CheckResult checkPanelInstall(const fs::path& root, const DesktopRecord& run) {
    CheckResult result{"panel package installed, CRC check passed", false, {}};
    const fs::path package = root / "sdcard" / "UpdateXan" / "ZEK_Update";
    const auto expected = filesUnder(package / "ZEK");
    const auto installed = filesUnder(root / "nand" / "ZEK");
    if (expected.empty()) {
        result.detail = "the package's ZEK folder holds no files";
        return result;
    }
    for (const auto& [name, bytes] : expected) {
        auto it = installed.find(name);
        if (it == installed.end()) {
            result.detail = fmt::format("ZEK/{} was not installed", name);
            return result;
        }
        if (it->second != bytes) {
            result.detail = fmt::format("ZEK/{} was installed with other contents", name);
            return result;
        }
    }
    for (const auto& [name, bytes] : installed) {
        // The panel writes its configuration there itself once it has run.
        if (!expected.count(name) && name != "ZEK.cfg") {
            result.detail = fmt::format("ZEK/{} is installed but not in the package", name);
            return result;
        }
    }
    std::error_code ec;
    const fs::path crcLog = package / "CRCLOG.TXT";
    if (!fs::exists(crcLog, ec)) {
        result.detail = "CRCLOG.TXT was not written: the installer did not verify";
        return result;
    }
    if (const auto size = fs::file_size(crcLog, ec); ec || size != 0) {
        std::ifstream in(crcLog, std::ios::binary);
        std::string first;
        std::getline(in, first);
        result.detail = fmt::format("CRCLOG.TXT lists failures ({} bytes, first line \"{}\")", size, first);
        return result;
    }
    const PageVisit* installer = run.lastVisit(PageKind::Installer);
    if (!installer) {
        result.detail = "the panel installer never showed";
        return result;
    }
    if (!installer->showed(kInstallerStatus, kInstallSucceeded)) {
        result.detail = fmt::format("the installer showed \"{}\" instead of its success text", installer->text(kInstallerStatus));
        return result;
    }
    result.passed = true;
    result.detail = fmt::format("{} files equal, CRCLOG.TXT empty, \"{}\" shown", expected.size(), kInstallSucceeded);
    return result;
}

}  // namespace hu::demo
