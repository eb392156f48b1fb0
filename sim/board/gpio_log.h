#pragma once
// The board's GPIO lines on disk, for the driver that drives them and for whoever watches them.
//
// Every GPIO set request that the board driver carries out is appended, in the order the
// requests were made (across processes), to flash/gpio.log, one JSON object a line:
//   {"t_ms":123456789,"port":2,"mask":8,"level":1,"pid":4242}
// t_ms is the monotonic clock in milliseconds (sim::monotonicMs(); the platform's tick count is
// its low 32 bits). flash/gpio_levels.json holds the resulting levels: per port, the mask of the
// lines that are high ({"2": 8, "5": 0}); lines never driven are low. Requests that the board
// refused (an injected failure) drive nothing and are not in the log.
//
// The MCU simulator watches the lines with a GpioWatcher: it waits for new events without
// polling the file in a loop.

#include <cstdint>
#include <filesystem>
#include <map>
#include <vector>

namespace sim {

struct GpioEvent {
    uint64_t t_ms = 0;
    int port = 0;
    uint32_t mask = 0;
    int level = 0;  // 1 high, 0 low
    int pid = 0;    // the process that made the request
    bool operator==(const GpioEvent&) const = default;
};

class GpioLog {
public:
    // Every event so far, oldest first. A line being written is left out until it is whole.
    static std::vector<GpioEvent> read(const std::filesystem::path& root);

    // The mask of high lines per port.
    static std::map<int, uint32_t> levels(const std::filesystem::path& root);

    // Drives the lines: appends the event and updates the levels, under the board's lock.
    // The event's time is taken under the lock, so times never go backwards in the log.
    static bool append(const std::filesystem::path& root, int port, uint32_t mask, int level);
};

// Follows flash/gpio.log as it grows.
class GpioWatcher {
public:
    // Starts after the events already logged, or at the first one when fromStart is true.
    explicit GpioWatcher(const std::filesystem::path& root, bool fromStart = false);
    ~GpioWatcher();
    GpioWatcher(const GpioWatcher&) = delete;
    GpioWatcher& operator=(const GpioWatcher&) = delete;

    // The events logged since the previous call; waits up to timeoutMs (-1: no limit) for at
    // least one. Empty on time-out.
    std::vector<GpioEvent> next(int timeoutMs);

private:
    std::vector<GpioEvent> readNew();
    std::filesystem::path file_;
    uint64_t offset_ = 0;
    int notify_ = -1;  // inotify on flash/
};

}  // namespace sim
