#include "updater/app/single_instance.h"

#include <algorithm>
#include <string>

#include "platform/core/paths.h"
#include "platform/core/time.h"
#include "platform/ui/window.h"

namespace updater {

namespace {

constexpr int kWindowSearches = 40;
constexpr uint32_t kSearchPauseMs = 250;

}  // namespace

bool SingleInstance::Acquire() {
    const std::string program = ce::modulePath();
    std::string name = program;
    std::replace(name.begin(), name.end(), '\\', '/');
    auto mutex = ce::NamedMutex::create(name);
    if (!mutex) return true;  // without a mutex there is nothing to coordinate with
    mutex_ = std::move(mutex.value());
    if (!mutex_->alreadyExisted()) return true;

    for (int search = 0; search < kWindowSearches; ++search) {
        if (ce::HWND running = ce::findProgramWindow(program)) {
            ce::setForegroundWindow(running);
            return false;
        }
        ce::sleep(kSearchPauseMs);
    }
    return true;
}

}  // namespace updater
