// Feeds arbitrary files to the ZEK.cfg loader in a temporary head unit: a file of any length
// is merged over the record byte for byte (at most 8), and what a save writes reads back the
// same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>

#include "panel/config/zek_config.h"
#include "sim/headunit/headunit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static sim::TempHeadUnit unit;
    static const bool folder = std::filesystem::create_directories(unit.nand() / "ZEK");
    (void)folder;
    const auto file = unit.nand() / "ZEK" / "ZEK.cfg";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const auto before = panel::ConfigBytes(panel::g_ConfigInfo);
    if (!panel::LoadConfig()) std::abort();
    const auto after = panel::ConfigBytes(panel::g_ConfigInfo);
    for (size_t i = 0; i < after.size(); ++i)
        if (after[i] != (i < size ? data[i] : before[i])) std::abort();
    if (!panel::SaveConfig()) std::abort();
    panel::g_ConfigInfo = panel::ConfigInfo{};
    if (!panel::LoadConfig() || panel::ConfigBytes(panel::g_ConfigInfo) != after) std::abort();
    return 0;
}
