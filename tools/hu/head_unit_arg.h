#pragma once
// The head-unit folder a command works on.

#include <filesystem>
#include <optional>
#include <string>

namespace hu {

// What a command needs of the head unit besides a readable headunit.json.
enum class Registry { Required, NotNeeded };

// Loads the head unit at dir and makes it this process's own (HEADUNIT_ROOT and the current
// profile), as if the command ran inside it. On failure prints one line and gives nothing:
// "<command>: DIR is no head unit (hu init makes one)" when there is no headunit.json, else
// what is wrong with it or with registry.reg, naming the file and the line.
std::optional<std::filesystem::path> enterHeadUnit(const std::string& dir, const char* command,
                                                   Registry registry = Registry::Required);

// Checks the head unit at dir without entering it (the same lines as enterHeadUnit, without
// looking at the registry); true when headunit.json loads.
bool checkHeadUnit(const std::string& dir, const char* command);

// The device path (in the head unit entered) of a host file named on the command line. On
// failure prints "<command>: FILE is not a file" and gives nothing.
std::optional<std::string> hostFileDevicePath(const std::string& hostFile, const char* command);

}  // namespace hu
