// Fuzzes what the updater takes from the SD card as text: the first line of a version file
// (in any of the three code pages, compared with another version) and the names found in the
// OPTION folder.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "updater/package/option_search.h"
#include "updater/versions/version_decision.h"
#include "updater/versions/version_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static constexpr uint32_t kCodePages[] = {949, 1251, 1252};
    const uint32_t codePage = kCodePages[data[0] % 3];
    std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    // Two versions from the two halves, compared as the decision compares them.
    const size_t half = bytes.size() / 2;
    updater::VersionSet versions;
    versions.os.package = versions.mcu.package = versions.bluetooth.package = updater::VersionFromLine(bytes.substr(0, half), codePage);
    versions.os.installed = versions.mcu.installed = versions.bluetooth.installed =
        updater::VersionFromLine(bytes.substr(half), codePage);
    if (versions.os.package.size() >= updater::kVersionBufferChars) __builtin_trap();
    const uint32_t mask = updater::UpdateMaskOf(versions);
    if ((mask & 0x1) != (mask & 0x2) >> 1) __builtin_trap();  // OS and MCU follow the same rule

    updater::NameEndsWithSuffix(bytes, "LGO");
    updater::NameEndsWithSuffix(bytes, "ORV");
    return 0;
}
