#pragma once
// Percentages shown by the status line and the progress bar.
//
// A total can be zero or negative (a folder whose search cannot start counts -1); the share
// of such a total is unknown and shows as 0 %, never a division by zero. Values are clamped
// to the 32-bit range; they are not capped at 100, so a list that names more files than were
// counted still shows how far it went.

#include <cstdint>

namespace installer {

// done × 100 / total, in integers (the delete and verification percentages).
int32_t CountPercent(int64_t done, int64_t total);

// done / total × 100.0, truncated toward zero (the copy percentage).
int32_t BytePercent(double done, double total);

}  // namespace installer
