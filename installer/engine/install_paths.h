#pragma once
// Device paths of an installation: where a pair's folders are, and joining path parts.

#include <string>
#include <string_view>

#include "installer/ini/package_ini.h"

namespace installer {

// The log of failed files, always on the card whatever folder the installer runs from.
inline constexpr std::string_view kCrcLogPath = "\\SDMMC Card\\UpdateXan\\ZEK_Update\\CRCLOG.TXT";
// The panel's install folder, created before every copy.
inline constexpr std::string_view kPanelInstallFolder = "\\NAND Flash\\ZEK";
// The package file next to the installer.
inline constexpr std::string_view kPackageIniName = "ZEK_Update.ini";

// folder + "\" + name with exactly one backslash between them, whether or not folder ends in
// one or name starts with one ("\A\" + "*" -> "\A\*").
std::string JoinPath(std::string_view folder, std::string_view name);

// Source folder of a pair: the installer's folder followed by the pair's source value.
std::string SourceFolderOf(const std::string& installerFolder, const InstallEntry& entry);

// Destination folder of a pair, without a trailing backslash.
std::string DestinationFolderOf(const InstallEntry& entry);

}  // namespace installer
