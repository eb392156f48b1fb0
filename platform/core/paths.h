#pragma once
// Device paths ("\SDMMC Card\UpdateXan\nk.rom") and their host counterparts.
//
// The head unit's file system is case-insensitive and uses backslashes; the host's is
// case-sensitive and uses slashes. Resolution walks the host path one component at a time and
// takes the entry whose name matches without regard to case (an exact match wins), so a
// package copied to the card as "SFLASH/LOGO.BMP" is found as "\SDMMC Card\UpdateXan\sflash\logo.bmp".
// A path that names no mount is an error (ERROR_PATH_NOT_FOUND), never a host path.
//
// Device paths often come from data (a package's INI file, a checksum list), so resolution
// keeps them on the head unit's volumes: ".." never climbs above the root of the volume it
// starts on, and no folder on the way below a volume's root may be a symbolic link (the last
// component may be one; the operations on it decide, and none follows it). The "\Host" pseudo
// mount reaches only the running program's own folder and the host files a tool admitted.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/error.h"

namespace ce {

// Where a device path points, worked out from its text alone (nothing need exist): the volume
// it lies on and its components below the volume's root, "." and ".." applied. ".." before the
// volume is named stays at the device root; one that would climb above the volume's root, a
// path outside every volume (the device root included) and a "\Host" path that reaches
// neither the program's folder nor an admitted file are ERROR_PATH_NOT_FOUND.
struct DevicePlace {
    std::string volume;                // "\SDMMC Card" as the profile names it, or "\Host"
    std::filesystem::path volumeHost;  // host folder of the volume's root ("/" for "\Host")
    std::vector<std::string> below;    // components below the volume's root, as written
};
Result<DevicePlace> placeOf(std::string_view devicePath);

// True when the place `inner` is `outer` or lies below it (names compared without regard to
// case, so two spellings of one folder are never taken for two folders).
bool placeWithin(const DevicePlace& inner, const DevicePlace& outer);

// Host path for a device path. The last component need not exist (files about to be
// created); every folder above it must. Relative paths ("NAND Flash\PimConfig.ORV") are taken
// from the root, since the device has no current folder.
Result<std::filesystem::path> hostPath(std::string_view devicePath);

// Device path of a host path that lies inside a mount. A host path outside every mount is
// given under the pseudo mount "\Host" ("/opt/hu/bin/UpdateXan" -> "\Host\opt\hu\bin\UpdateXan"),
// which hostPath() maps back only inside the running program's own folder, so a program
// started from a build folder still finds the files next to itself.
std::string devicePathOf(const std::filesystem::path& host);

// Device path of a host file that the person running a tool named (a firmware image given on
// the command line): devicePathOf(host), and from now on hostPath() resolves that one file
// under "\Host" in this process, even outside the program's folder.
std::string admitHostFile(const std::filesystem::path& host);

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
