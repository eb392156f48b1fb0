#pragma once
// Processes of the head unit: starting a program by its device path, the program's own
// identity, and named mutexes for single-instance start-up.

#include <memory>
#include <string>
#include <string_view>

#include "platform/core/error.h"

namespace ce {

// Called first thing in every program's main: sets the program name for the log file and
// loads the profile. Returns an error (and prints one line to stderr) when the process runs
// outside a head unit (no HEADUNIT_ROOT or an unreadable headunit.json) or in one whose
// registry.reg cannot be read whole (ERROR_BADDB; the line goes to the log as well).
Error initProgram(const char* argv0);

// Starts the program at a device path with no arguments, inheriting HEADUNIT_ROOT, without
// waiting for it (CreateProcess with the handles closed at once). ERROR_FILE_NOT_FOUND when
// the file does not exist, ERROR_ACCESS_DENIED when it cannot be executed.
Error createProcess(std::string_view devicePath);

// A named mutex shared by every process of the head unit (a lock file in run/). It exists
// while a handle to it is open in a live process; a lock left by a dead process is stale and
// does not count.
class NamedMutex {
public:
    static Result<std::unique_ptr<NamedMutex>> create(std::string_view name);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // True when another live process (or another handle of this one) held it already.
    bool alreadyExisted() const { return alreadyExisted_; }

private:
    NamedMutex(int fd, bool existed) : fd_(fd), alreadyExisted_(existed) {}
    int fd_;
    bool alreadyExisted_;
};

}  // namespace ce
