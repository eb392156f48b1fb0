#pragma once
// The panel package on a head unit's SD card: "\SDMMC Card\UpdateXan\ZEK_Update" with the
// installer program ("ZEK_Update.exe"), its "ZEK_Update.ini", the source folder "ZEK" holding
// the guidance panel's files (installed into "\NAND Flash\ZEK") and the checksum list
// "ZEK.crc" beside it: one "relative\path:XXXXXXXX" line per file, CRC-32 in hexadecimal.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace hu {

struct PanelPackageOptions {
    // The installer program to put on the card; empty: the ZEK_Update built beside hu.
    std::filesystem::path installerProgram;
    // Host files and folders that make up the panel's folder, each under its own name. Empty:
    // the built panel program if there is one, else stand-ins ("Kelo_ZEK.exe", a few bitmaps
    // in "Kelo_ZEK_IMG", the NanumGothic font when the host has it).
    std::vector<std::filesystem::path> panelFiles;
};

struct PanelPackage {
    std::filesystem::path folder;  // host folder of "\SDMMC Card\UpdateXan\ZEK_Update"
    int files = 0;                 // files listed in the checksum list
};

// Replaces the panel package of the head unit in headUnitDir. Throws std::runtime_error with
// a one-line message when something cannot be read or written. progress receives one line
// per step.
PanelPackage buildPanelPackage(const std::filesystem::path& headUnitDir, const PanelPackageOptions& options,
                               const std::function<void(const std::string&)>& progress = {});

}  // namespace hu
