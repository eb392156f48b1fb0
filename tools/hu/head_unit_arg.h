#pragma once
// The head-unit folder a command works on.

#include <filesystem>
#include <optional>
#include <string>

namespace hu {

// Loads the head unit at dir and makes it this process's own (HEADUNIT_ROOT and the current
// profile), as if the command ran inside it. On failure prints "<command>: DIR is no head unit
// (hu init makes one)" and gives nothing.
std::optional<std::filesystem::path> enterHeadUnit(const std::string& dir, const char* command);

// The device path (in the head unit entered) of a host file named on the command line. On
// failure prints "<command>: FILE is not a file" and gives nothing.
std::optional<std::string> hostFileDevicePath(const std::string& hostFile, const char* command);

}  // namespace hu
