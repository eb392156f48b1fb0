#include "updater/package/package_checks.h"

#include <array>
#include <string>

#include "platform/core/debug.h"
#include "platform/core/files.h"
#include "platform/core/registry.h"
#include "updater/package/package_paths.h"

namespace updater {

namespace {

// The VR DB package, in the order it is checked.
constexpr std::array<const char*, 18> kVrdbEntries = {
    "BackupDB\\CNC\\ORV.adaptDict",
    "BackupDB\\CNC\\ORV.dict",
    "BackupDB\\CNC\\ORV.hmm",
    "BackupDB\\CNC\\ORV.hmmF",
    "BackupDB\\CNC\\ORV.hmmPhone",
    "BackupDB\\CNC\\ORV.hmmPhoneF",
    "BackupDB\\CNC\\ORV.recog",
    "BackupDB\\CNC\\ORV.wlist",
    "BackupDB\\CNC\\set.dat",
    "VRDB_Update.exe",
    "VRDB_Update.ini",
    "BackupDB.crc",
    "BackupDB\\VSR\\hmm.hm",
    "BackupDB\\VSR\\hmm.hmF",
    "BackupDB\\VSR\\Opensesame.erd",
    "BackupDB\\VSR\\Opensesame.grd",
    "BackupDB\\VSR\\Opensesame.plf",
    "BackupDB\\VSR\\SIL.hm",
};

// The panel package; "Kelo_ZEK_IMG" may be a file or a folder, it only has to exist.
constexpr std::array<const char*, 2> kPanelEntries = {
    "ZEK\\Kelo_ZEK.exe",
    "ZEK\\Kelo_ZEK_IMG",
};

template <size_t N>
bool AllEntriesExist(const char* folder, const std::array<const char*, N>& entries) {
    for (const char* entry : entries) {
        if (!ce::pathExists(std::string(folder) + "\\" + entry)) return false;
    }
    return true;
}

}  // namespace

void CheckImagePresence(VersionSet& versions) {
    if (!ce::pathExists(paths::kBootloaderImage)) {
        ce::debugPrint("Error Can't Find bootloader Bin File!!!\n");
        versions.os.installed.clear();
    }
    if (!ce::pathExists(paths::kKernelImage)) {
        ce::debugPrint("Error Can't Find kernel Bin File!!!\n");
        versions.os.installed.clear();
    }
    if (!ce::pathExists(paths::kMcuImage)) {
        ce::debugPrint("Error Can't Find Micom Bin File!!\n");
        versions.mcu.installed.clear();
    }
    if (!ce::pathExists(paths::kBluetoothImage)) {
        ce::debugPrint("Error Can't Find Bluetooth Bin File!!\n");
        versions.bluetooth.installed.clear();
    }
}

uint32_t MaskOfPresentImages(uint32_t mask) {
    if ((mask & kUpdateOs) && !(ce::pathExists(paths::kBootloaderImage) && ce::pathExists(paths::kKernelImage))) {
        mask &= ~uint32_t{kUpdateOs};
    }
    if ((mask & kUpdateMcu) && !ce::pathExists(paths::kMcuImage)) mask &= ~uint32_t{kUpdateMcu};
    if ((mask & kUpdateBluetooth) && !ce::pathExists(paths::kBluetoothImage)) mask &= ~uint32_t{kUpdateBluetooth};
    return mask;
}

bool VrdbPackagePresent() { return ce::pathExists(paths::kVrdbFolder); }
bool PanelPackagePresent() { return ce::pathExists(paths::kPanelFolder); }
bool VrdbFilesComplete() { return AllEntriesExist(paths::kVrdbFolder, kVrdbEntries); }
bool PanelFilesComplete() { return AllEntriesExist(paths::kPanelFolder, kPanelEntries); }

bool BluetoothModulePresent() {
    uint32_t srcInfo = 0;
    bool fitted = false;
    if (auto key = ce::RegKey::open(ce::Hive::LocalMachine, "SOFTWARE\\ORV\\SYSTEM\\FactoryInfo")) {
        uint32_t type = 0;
        uint32_t size = sizeof srcInfo;
        fitted = key->queryValue("SrcInfo", &type, &srcInfo, &size) == ce::ERROR_SUCCESS && (srcInfo & 0x4);
    }
    ce::debugPrint(fitted ? "### BT Exist\r\n" : "### BT Not Exist\r\n");
    return fitted;
}

}  // namespace updater
