#include "panel/frame/single_instance.h"

#include <algorithm>

#include "panel/frame/panel_messages.h"
#include "platform/core/paths.h"
#include "platform/core/time.h"
#include "platform/ui/window.h"

namespace panel {

std::string PathMutexName(std::string_view programPath) {
    std::string name(programPath);
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

bool ActivateRunningInstance(std::unique_ptr<ce::NamedMutex>* pathMutex) {
    const std::string program = ce::modulePath();
    auto mutex = ce::NamedMutex::create(PathMutexName(program));
    if (!mutex) return false;
    const bool existed = (*mutex)->alreadyExisted();
    *pathMutex = std::move(*mutex);
    if (!existed) return false;
    for (int attempt = 0; attempt < kInstanceSearchTries; ++attempt) {
        if (const ce::HWND running = ce::findProgramWindow(program)) {
            ce::setForegroundWindow(running);
            return true;
        }
        ce::sleep(kInstanceSearchPauseMs);
    }
    return false;
}

std::unique_ptr<ce::NamedMutex> ClaimPanelMutex() {
    auto mutex = ce::NamedMutex::create(kMainWindowTitle);
    if (!mutex || (*mutex)->alreadyExisted()) return nullptr;
    return std::move(*mutex);
}

}  // namespace panel
