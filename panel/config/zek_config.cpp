#include "panel/config/zek_config.h"

#include "platform/core/files.h"

namespace panel {

ConfigInfo g_ConfigInfo;

namespace {

std::string g_ConfigPath = kConfigFilePath;

void PutInt32(uint8_t* out, int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

std::array<uint8_t, kConfigFileSize> ConfigBytes(const ConfigInfo& info) {
    std::array<uint8_t, kConfigFileSize> bytes{};
    bytes[0] = info.m_bOnOff;
    for (size_t i = 0; i < 3; ++i) bytes[1 + i] = info.m_Padding[i];
    PutInt32(&bytes[4], info.m_nScreenType);
    return bytes;
}

void MergeConfigBytes(ConfigInfo& info, std::span<const uint8_t> bytes) {
    auto merged = ConfigBytes(info);
    for (size_t i = 0; i < bytes.size() && i < merged.size(); ++i) merged[i] = bytes[i];
    info.m_bOnOff = merged[0];
    for (size_t i = 0; i < 3; ++i) info.m_Padding[i] = merged[1 + i];
    uint32_t type = 0;
    for (int i = 0; i < 4; ++i) type |= static_cast<uint32_t>(merged[4 + i]) << (8 * i);
    info.m_nScreenType = static_cast<int32_t>(type);
}

const std::string& ConfigFilePath() { return g_ConfigPath; }

bool LoadConfig() {
    auto file = ce::File::open(g_ConfigPath, ce::GENERIC_READ, ce::FILE_SHARE_READ | ce::FILE_SHARE_WRITE,
                               ce::OPEN_EXISTING);
    if (!file) return false;
    std::array<uint8_t, kConfigFileSize> bytes{};
    uint32_t got = 0;
    if ((*file)->read(bytes.data(), kConfigFileSize, &got) != ce::ERROR_SUCCESS) return false;
    MergeConfigBytes(g_ConfigInfo, std::span<const uint8_t>(bytes.data(), got));
    return true;
}

bool SaveConfig() {
    const std::string fresh = g_ConfigPath + ".new";
    const auto bytes = ConfigBytes(g_ConfigInfo);
    bool written = false;
    {
        auto file = ce::File::open(fresh, ce::GENERIC_WRITE, 0, ce::CREATE_ALWAYS);
        if (!file) return false;
        uint32_t put = 0;
        written = (*file)->write(bytes.data(), kConfigFileSize, &put) == ce::ERROR_SUCCESS && put == kConfigFileSize &&
                  (*file)->flush() == ce::ERROR_SUCCESS;
    }
    if (written && ce::moveFileEx(fresh, g_ConfigPath, ce::MOVEFILE_REPLACE_EXISTING) == ce::ERROR_SUCCESS) return true;
    ce::deleteFile(fresh);
    return false;
}

void InitConfig() {
    g_ConfigPath = kConfigFilePath;
    if (LoadConfig()) return;
    g_ConfigInfo = ConfigInfo{};
    SaveConfig();
}

}  // namespace panel
