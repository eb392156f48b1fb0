#pragma once
// Running part of a test as another, unprivileged local user: the hostile neighbour of the
// head unit. Tests run as root (in CI and usually at a desk too); the other user is "nobody"
// (uid and gid 65534), with no supplementary groups. A test that needs it skips when the
// process cannot change its user.

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace ce::test {

inline constexpr uid_t kOtherUid = 65534;
inline constexpr gid_t kOtherGid = 65534;

// True when this process can become the other user (it runs as root).
bool canBecomeOtherUser();

struct ChildOutcome {
    int exitCode = -1;   // the child's exit code; -1 when it did not end normally
    std::string output;  // what it wrote to stdout and stderr
};

// Runs fn in a forked child that has become the other user, and waits for it. The child ends
// with fn's result as its exit code. Between fork and exit only the calling thread exists in
// the child: fn must not rely on threads or locks of the parent (plain system calls, or an
// exec, are fine).
ChildOutcome asOtherUser(const std::function<int()>& fn);

// Runs a program as the other user with these arguments and environment additions ("NAME=value").
ChildOutcome runAsOtherUser(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {});

// Makes the folder and every folder above it up to (not including) "/" enterable by the other
// user (adds o+x, and o+rx on the folder itself), so a head unit under a private temporary
// folder is reachable where a test needs it.
void openPathToOtherUser(const std::string& folder);

}  // namespace ce::test
