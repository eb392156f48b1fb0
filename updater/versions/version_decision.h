#pragma once
// The decision which update steps are due: the package's versions against the installed ones.
//
// The OS and the MCU are updated whenever the two versions differ; the Bluetooth firmware
// only when the package's version is greater, compared code unit by code unit (so "1.0.2"
// is greater than "1.0.10"). A component whose version is unknown on either side, or whose
// image is missing from the package, is never updated.

#include <cstdint>

#include "updater/versions/version_set.h"

namespace updater {

// Bits of the installed versions that could not be read (same values as the mask bits).
enum ReadFailureBits : uint32_t {
    kReadFailOs = 0x1,
    kReadFailMcu = 0x2,
    kReadFailBluetooth = 0x4,
};

// Fills all six strings (package files first, then the registry), logs both sets and
// returns the read-failure bits of the installed versions.
uint32_t ReadVersions(VersionSet& versions);

// Runs the image presence check (which may empty installed versions), compares and logs the
// resulting update mask.
uint32_t CompareVersions(VersionSet& versions);

// The comparison alone, on strings as they stand.
uint32_t UpdateMaskOf(const VersionSet& versions);

}  // namespace updater
