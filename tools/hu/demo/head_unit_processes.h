#pragma once
// The processes and shared leftovers of one head unit, found wherever they ended up.
//
// Every program and simulator of a head unit runs with HEADUNIT_ROOT naming the head unit's
// folder, and every child inherits it. That makes the environment the one reliable mark of
// membership: the programs the updater starts detach into sessions of their own (they are
// nobody's child and in nobody's process group), yet they still carry the folder's name.
// These functions let the demo and its watchdog find and end all of them. (The desktop keeps
// nothing of a head unit outside its folder: window images vanish with their programs.)

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <vector>

namespace hu::demo {

// Live processes whose HEADUNIT_ROOT names `root` (compared as canonical paths), except the
// ones listed. Processes whose environment cannot be read are not listed.
std::vector<pid_t> headUnitProcesses(const std::filesystem::path& root, const std::vector<pid_t>& except = {});

// Ends those processes: SIGTERM first, SIGKILL to whatever is still alive after `grace`, and
// waits until they have exited; processes started meanwhile are ended too. Returns the
// processes that were found (and ended).
std::vector<pid_t> endHeadUnitProcesses(const std::filesystem::path& root, std::chrono::milliseconds grace,
                                        const std::vector<pid_t>& except = {});

}  // namespace hu::demo
