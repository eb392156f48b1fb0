#pragma once
// IniTable: the in-memory table of one INI file, and the string helpers of the reader.
//
// The table is a flat array of slots searched from index 0 upwards; a slot is occupied exactly
// when it has a key. Keys are "section:name" with both parts case-folded (a section header is
// stored under the section name alone, with no value). A one-at-a-time hash of each key only
// speeds up the comparison. The table starts with 128 slots and doubles when it is full, so
// entries never move and a later insert of an existing key replaces its value in place.
// Keys and values are byte strings in the head unit's ANSI code page; nothing is converted.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace installer {

struct IniTable {
    static constexpr int32_t kMinimumCapacity = 128;

    // A requested capacity below 128 is raised to 128.
    explicit IniTable(int32_t requestedCapacity = kMinimumCapacity);

    int32_t count = 0;     // occupied slots
    int32_t capacity = 0;  // slots
    std::vector<std::optional<std::string>> values;  // null for a section entry
    std::vector<std::optional<std::string>> keys;    // null marks a free slot
    std::vector<uint32_t> hashes;
};

// Bob Jenkins' one-at-a-time hash over the bytes of key, each byte taken as a signed 8-bit value.
uint32_t IniHash(std::string_view key);

// Adds an entry or replaces the value of the entry with the same key. key is already in its
// final, folded form; a null value marks a section entry.
void IniInsert(IniTable& table, std::string_view key, std::optional<std::string_view> value);

// The value of the entry whose key equals the folded name, or defaultValue when table or name
// is null or nothing matches. A section entry gives its null value. The pointer belongs to the
// table.
const char* IniLookup(const IniTable* table, const char* name, const char* defaultValue);

// Bytes of the fold buffer: the fold keeps at most this many bytes of its input.
inline constexpr size_t kFoldBufferBytes = 1024;

// The C library's single-byte lower case of the first 1024 bytes of text.
std::string FoldCase(std::string_view text);

// text without its leading white space (space, \t, \n, \v, \f, \r), in place.
std::string_view TrimLeft(std::string_view text);

// A copy of text without its trailing white space.
std::string TrimRight(std::string_view text);

// The C library's white-space class.
inline bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace installer
