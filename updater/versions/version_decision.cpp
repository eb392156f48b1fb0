#include "updater/versions/version_decision.h"

#include "platform/core/debug.h"
#include "platform/core/text.h"
#include "updater/package/package_checks.h"
#include "updater/package/package_paths.h"
#include "updater/versions/version_file.h"

namespace updater {

namespace {

void LogVersions(const char* heading, const std::u16string& os, const std::u16string& mcu,
                 const std::u16string& bluetooth) {
    ce::debugPrint(heading);
    ce::debugPrint("::OS:: %s \n", ce::toUtf8(os));
    ce::debugPrint("::MICOM:: %s \n", ce::toUtf8(mcu));
    ce::debugPrint("::BLUETOOTH:: %s \n", ce::toUtf8(bluetooth));
}

bool BothKnown(const ComponentVersion& v) { return !v.package.empty() && !v.installed.empty(); }

}  // namespace

uint32_t ReadVersions(VersionSet& versions) {
    versions = VersionSet{};
    versions.os.package = ReadVersionFile(paths::kOsVersionFile);
    versions.mcu.package = ReadVersionFile(paths::kMcuVersionFile);
    versions.bluetooth.package = ReadVersionFile(paths::kBluetoothVersionFile);

    uint32_t failures = 0;
    if (!ReadInstalledVersion("OS", versions.os.installed)) failures |= kReadFailOs;
    if (!ReadInstalledVersion("MICOM", versions.mcu.installed)) failures |= kReadFailMcu;
    if (!ReadInstalledVersion("BLUETOOTH", versions.bluetooth.installed)) failures |= kReadFailBluetooth;

    LogVersions("##### Version Info::New ##### \n", versions.os.package, versions.mcu.package,
                versions.bluetooth.package);
    LogVersions("##### Version Info::Current ##### \n", versions.os.installed, versions.mcu.installed,
                versions.bluetooth.installed);
    return failures;
}

uint32_t UpdateMaskOf(const VersionSet& versions) {
    uint32_t mask = 0;
    if (BothKnown(versions.os) && versions.os.package != versions.os.installed) mask |= kUpdateOs;
    if (BothKnown(versions.mcu) && versions.mcu.package != versions.mcu.installed) mask |= kUpdateMcu;
    // std::u16string orders by unsigned code units, a prefix before the longer string.
    if (BothKnown(versions.bluetooth) && versions.bluetooth.package > versions.bluetooth.installed) {
        mask |= kUpdateBluetooth;
    }
    return mask;
}

uint32_t CompareVersions(VersionSet& versions) {
    CheckImagePresence(versions);
    uint32_t mask = UpdateMaskOf(versions);
    ce::debugPrint("### UPDATE_XAN:0x%04X \n", mask);
    return mask;
}

}  // namespace updater
