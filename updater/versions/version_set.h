#pragma once
// The six version strings the update decision works on: for each component the version the
// package carries and the version the head unit has installed. An empty string means
// "unknown" and keeps that component out of the update.

#include <cstdint>
#include <string>

namespace updater {

// Bits of the update mask: the steps still due.
enum UpdateMaskBits : uint32_t {
    kUpdateOs = 0x1,
    kUpdateMcu = 0x2,
    kUpdateBluetooth = 0x4,
};

struct ComponentVersion {
    std::u16string package;    // first line of the package's version file
    std::u16string installed;  // the registry's record of the installed version
};

struct VersionSet {
    ComponentVersion os;
    ComponentVersion mcu;
    ComponentVersion bluetooth;
};

}  // namespace updater
