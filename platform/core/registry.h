#pragma once
// The head unit's registry, read from registry.reg (Windows .reg text, UTF-8 or UTF-16LE
// with a byte-order mark).
//
// Values come back as the device stores them: strings as UTF-16LE bytes with their
// terminating zero, DWORDs as 4 little-endian bytes, so that callers see the same sizes,
// types and result codes (ERROR_FILE_NOT_FOUND for a missing key or value, ERROR_MORE_DATA
// for a buffer too small) as on the device. Writes are saved at once, atomically (a temporary
// file renamed over registry.reg), under a lock shared by every process of the head unit, and
// each process re-reads the file when it changed on disk. The default value is the one named
// "" (written "@" in the file).
//
// A registry.reg that cannot be read whole (missing, a folder, empty, or with a line that
// cannot be read) is a damaged head unit, never an empty registry: every read and write then
// fails with ERROR_BADDB and the file is left as it is, so a person's typo does not cost the
// lines around it.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/error.h"

namespace ce {

// A registry.reg that cannot be read whole: reads and writes fail with this code until the
// file is mended.
inline constexpr Error ERROR_BADDB = 1009;

enum class Hive { LocalMachine, CurrentUser, ClassesRoot, Users };

enum : uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_MULTI_SZ = 7,
};

struct RegValue {
    uint32_t type = REG_NONE;
    std::vector<uint8_t> data;  // device representation (UTF-16LE for strings, with terminator)
};

// Why registry.reg of the current head unit cannot be read whole, in one line that names the
// file and the line ("/hu/registry.reg: line 3: the string has no closing quote"); empty when
// it can be read.
std::string registryProblem();

class RegKey {
public:
    // Opens an existing key ("SOFTWARE\ORV\SYSTEM\FactoryInfo"; a leading backslash is
    // accepted). ERROR_FILE_NOT_FOUND when it does not exist.
    static Result<RegKey> open(Hive hive, std::string_view subKey);
    // Opens or creates a key.
    static Result<RegKey> create(Hive hive, std::string_view subKey);

    // RegQueryValueEx: *type receives the type; data (may be null) receives up to *size
    // bytes; *size receives the value's size. ERROR_MORE_DATA when data is too small
    // (nothing copied), ERROR_FILE_NOT_FOUND when the value is missing.
    Error queryValue(std::string_view name, uint32_t* type, void* data, uint32_t* size) const;

    // Conveniences over queryValue; a value of another type gives ERROR_INVALID_DATA.
    Result<uint32_t> readDword(std::string_view name) const;         // REG_DWORD only
    Result<std::u16string> readString(std::string_view name) const;  // REG_SZ / REG_EXPAND_SZ

    // Value and key names cannot contain line ends (ERROR_INVALID_PARAMETER).
    Error setValue(std::string_view name, uint32_t type, const void* data, uint32_t size);
    Error setDword(std::string_view name, uint32_t value);
    Error setString(std::string_view name, std::u16string_view value);

private:
    Hive hive_ = Hive::LocalMachine;
    std::string path_;  // canonical key path
};

}  // namespace ce
