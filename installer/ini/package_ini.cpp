#include "installer/ini/package_ini.h"

#include <fmt/format.h>

#include "installer/ini/ini_reader.h"
#include "installer/ini/pair_places.h"
#include "platform/core/debug.h"
#include "platform/core/paths.h"

namespace installer {
namespace {

// Why a present value cannot be used, or nullptr when it can.
const char* unusableBecause(std::string_view value) {
    if (value.empty()) return "empty";
    if (value.size() > kMaxEntryValue) return "longer than 254 bytes";
    return nullptr;
}

// A source of backslashes alone names the installer's own folder, not a folder in it.
const char* unusableSourceBecause(std::string_view value) {
    if (const char* reason = unusableBecause(value)) return reason;
    if (WithoutTrailingSeparators(value).empty()) return "no folder";
    return nullptr;
}

// A destination of backslashes alone names the root of the device: deleting it would wipe
// every volume, the package on the card included.
const char* unusableDestinationBecause(std::string_view value) {
    if (const char* reason = unusableBecause(value)) return reason;
    if (value.find_first_not_of('\\') == std::string_view::npos) return "the root of the device";
    return nullptr;
}

}  // namespace

std::string WithoutTrailingSeparators(std::string_view value) {
    while (!value.empty() && value.back() == '\\') value.remove_suffix(1);
    return std::string(value);
}

int UsedPairCount(const InstallEntries& entries) {
    int used = 0;
    for (const InstallEntry& entry : entries) used += entry.used != 0;
    return used;
}

bool ReadPackageIni(InstallEntries& entries, std::string_view iniPath) {
    const std::unique_ptr<IniTable> table = IniLoad(iniPath);
    if (!table) return false;

    entries = InstallEntries{};
    for (int n = 1; n <= kInstallEntryCount; ++n) {
        const std::string destinationKey = fmt::format("Destination:dst{}", n);
        const std::string sourceKey = fmt::format("Source:src{}", n);
        const char* destination = IniLookup(table.get(), destinationKey.c_str(), nullptr);
        const char* source = IniLookup(table.get(), sourceKey.c_str(), nullptr);
        if (!destination || !source) continue;

        const char* reason = unusableSourceBecause(source);
        if (!reason) reason = unusableDestinationBecause(destination);
        if (reason) {
            ce::debugPrint("Pair %d not used: a value is %s\r\n", n, reason);
            continue;
        }
        if (const char* unsafe = UnsafePairBecause(source, destination, ce::folderOf(iniPath))) {
            ce::debugPrint("Pair %d not used: %s\r\n", n, unsafe);
            continue;
        }
        InstallEntry& entry = entries[static_cast<size_t>(n - 1)];
        entry.used = 1;
        entry.destination = destination;
        entry.source = WithoutTrailingSeparators(source);
    }
    return true;
}

}  // namespace installer
