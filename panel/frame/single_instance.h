#pragma once
// Only one panel program runs. A second start first looks for the running one (a mutex named
// after the program's path tells it one was started from there) and brings its window to
// the foreground; either way it ends at once, quietly, when "ORV_KELO_ZEK" is taken.

#include <memory>

#include "platform/core/process.h"

namespace panel {

inline constexpr int kInstanceSearchTries = 40;
inline constexpr uint32_t kInstanceSearchPauseMs = 250;

// The program's path with every backslash made a forward slash.
std::string PathMutexName(std::string_view programPath);

// True when another instance started from this program's path was found and brought to the
// foreground. *pathMutex keeps the path mutex for the program's lifetime.
bool ActivateRunningInstance(std::unique_ptr<ce::NamedMutex>* pathMutex);

// The "ORV_KELO_ZEK" mutex, or nothing when another panel program holds it already.
std::unique_ptr<ce::NamedMutex> ClaimPanelMutex();

}  // namespace panel
