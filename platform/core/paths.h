#pragma once
// Device paths ("\SDMMC Card\UpdateXan\nk.rom") and their host counterparts.
//
// The head unit's file system is case-insensitive and uses backslashes; the host's is
// case-sensitive and uses slashes. Resolution walks the host path one component at a time and
// takes the entry whose name matches without regard to case (an exact match wins), so a
// package copied to the card as "SFLASH/LOGO.BMP" is found as "\SDMMC Card\UpdateXan\sflash\logo.bmp".
// A path that names no mount is an error (ERROR_PATH_NOT_FOUND), never a host path.

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/core/error.h"

namespace ce {

// Host path for a device path. The last component need not exist (files about to be
// created); every folder above it must. Relative paths ("NAND Flash\PimConfig.ORV") are taken
// from the root, since the device has no current folder.
Result<std::filesystem::path> hostPath(std::string_view devicePath);

// Device path of a host path that lies inside a mount. A host path outside every mount is
// given under the pseudo mount "\Host" ("/opt/hu/bin/UpdateXan" -> "\Host\opt\hu\bin\UpdateXan"),
// which hostPath() maps back, so a program started from a build folder still finds the files
// next to itself.
std::string devicePathOf(const std::filesystem::path& host);

// Device path of the running program (GetModuleFileName).
std::string modulePath();

// Folder part of a device path up to and including its last backslash ("\A\B\x.exe" -> "\A\B\").
std::string folderOf(std::string_view devicePath);

// Last component of a device path ("\A\B\x.exe" -> "x.exe").
std::string fileNameOf(std::string_view devicePath);

// Case-insensitive comparison of two device paths or names (ASCII and UTF-8 letters).
bool pathEquals(std::string_view a, std::string_view b);

// Matches a name against a pattern with '*' and '?' without regard to case. "*.*" matches
// every name, also one without a dot, as on the device.
bool wildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace ce
