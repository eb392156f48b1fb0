#pragma once
// One updater at a time. The mutex is named after the program's own path (backslashes turned
// into slashes) and held for the program's lifetime. A second start looks for the running
// updater's window (up to 40 searches, 250 ms apart), brings it to the front and ends.

#include <memory>

#include "platform/core/process.h"

namespace updater {

class SingleInstance {
public:
    // True when this process should go on; false when it handed over to a running updater.
    bool Acquire();

private:
    std::unique_ptr<ce::NamedMutex> mutex_;
};

}  // namespace updater
