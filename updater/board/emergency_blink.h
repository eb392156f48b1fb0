#pragma once
// The status line that blinks while an emergency update runs unattended: port 5 line 0x400
// is raised once, then port 2 line 0x4000 toggles low/high every 300 ms on a thread of its
// own. It shares nothing with the pages and runs until its owner goes (the program's end).

#include <thread>

namespace updater {

class EmergencyBlink {
public:
    EmergencyBlink() = default;
    ~EmergencyBlink();
    EmergencyBlink(const EmergencyBlink&) = delete;
    EmergencyBlink& operator=(const EmergencyBlink&) = delete;

    void Start();  // once; later calls do nothing
    bool Running() const { return thread_.joinable(); }

private:
    std::jthread thread_;
};

}  // namespace updater
