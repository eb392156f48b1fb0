#pragma once
// The panel's two user choices across restarts, kept in "\NAND Flash\ZEK\ZEK.cfg".
//
// The file is the record itself, 8 bytes little-endian: m_bOnOff (1 byte), 3 padding bytes
// written back as they were read, m_nScreenType (signed 32 bits). There is no magic number or
// checksum. Load merges whatever bytes the file has over the record, so a short file changes
// only the fields it covers; the record holds the defaults (expanded, vertical) before the
// first Load. Save writes a new file beside the old one and renames it over it, so a crash in
// the middle never leaves a short file behind.

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace panel {

struct ConfigInfo {
    uint8_t m_bOnOff = 1;               // 0 collapsed, anything else expanded
    std::array<uint8_t, 3> m_Padding{};  // kept as read
    int32_t m_nScreenType = 0;          // 0 vertical, anything else horizontal
};

inline constexpr size_t kConfigFileSize = 8;
inline constexpr const char* kConfigFilePath = "\\NAND Flash\\ZEK\\ZEK.cfg";

// The one record of the program; only the user-interface thread touches it.
extern ConfigInfo g_ConfigInfo;

// The record as the file stores it, and the merge of a file's bytes (at most 8) over a record.
std::array<uint8_t, kConfigFileSize> ConfigBytes(const ConfigInfo& info);
void MergeConfigBytes(ConfigInfo& info, std::span<const uint8_t> bytes);

// Load: false (record untouched) when the file cannot be opened or read.
bool LoadConfig();
// Save: false when the new file cannot be written or put in place; the record keeps its values.
bool SaveConfig();
// At start: the path, then Load; when that fails, the defaults are set and saved.
void InitConfig();

// The path the two functions use (filled by InitConfig).
const std::string& ConfigFilePath();

inline bool IsExpanded() { return g_ConfigInfo.m_bOnOff != 0; }
inline bool IsHorizontal() { return g_ConfigInfo.m_nScreenType != 0; }

}  // namespace panel
