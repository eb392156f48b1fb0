#pragma once
// The panel package on a head unit's SD card: "\SDMMC Card\UpdateXan\ZEK_Update" with the
// installer program ("ZEK_Update.exe"), its "ZEK_Update.ini", the source folder "ZEK" holding
// the guidance panel's files (installed into "\NAND Flash\ZEK": "Kelo_ZEK.exe", the 76 bitmaps in
// "Kelo_ZEK_IMG", "NanumGothic.ttf") and the checksum list "ZEK.crc" beside it: one
// "relative\path:XXXXXXXX" line per file, CRC-32 in hexadecimal, the names in the head unit's
// ANSI code page, as the installer reads them.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/profile.h"

namespace hu {

struct PanelPackageOptions {
    // The installer program to put on the card; empty: the ZEK_Update built beside hu.
    std::filesystem::path installerProgram;
    // Host files and folders that make up the panel's folder, each under its own name. Empty:
    // the panel as built (bin/Kelo_ZEK, the bitmaps drawn into share/headunit/Kelo_ZEK_IMG) and the
    // NanumGothic font of the Debian package fonts-nanum.
    std::vector<std::filesystem::path> panelFiles;
    // Where to build the package: a folder that does not exist yet (the update package builds
    // it inside its own new folder). Empty: beside the card's ZEK_Update, swapped in when complete.
    std::filesystem::path folder;
};

struct PanelPackage {
    std::filesystem::path folder;  // host folder of "\SDMMC Card\UpdateXan\ZEK_Update"
    int files = 0;                 // files listed in the checksum list
};

// Builds the panel package of the head unit in headUnitDir. Throws std::runtime_error with a
// one-line message when something cannot be read or written (the card then holds what it
// held). progress receives one line per step.
PanelPackage buildPanelPackage(const std::filesystem::path& headUnitDir, const PanelPackageOptions& options,
                               const std::function<void(const std::string&)>& progress = {});

// The profile of the head unit in headUnitDir. Throws std::runtime_error with one line when
// it does not load ("DIR is no head unit", or what is wrong with its headunit.json).
ce::Profile loadProfile(const std::filesystem::path& headUnitDir);

// A file's name relative to the panel's folder ("Kelo_ZEK_IMG\\x.bmp", UTF-8) as a checksum list
// holds it: in the code page's 8-bit text. Throws std::runtime_error with one line when the
// code page cannot represent it or it holds ':' (the list's separator).
std::string checksumListName(const std::string& relativeUtf8, uint32_t codePage);

}  // namespace hu
