#pragma once
// JsonEvents: one JSON object a line, each stamped with the seconds since a start, for scripts
// and CI reading a run as it goes. Safe to call from several threads; every line is flushed.

#include <cstdint>
#include <cstdio>
#include <mutex>

#include <nlohmann/json.hpp>

namespace hu::demo {

class JsonEvents {
public:
    JsonEvents(FILE* out, uint64_t startMs) : out_(out), startMs_(startMs) {}

    uint64_t startMs() const { return startMs_; }

    // Writes the object; a missing "time" is set to now.
    void write(nlohmann::json event);

private:
    std::mutex mutex_;
    FILE* out_;
    uint64_t startMs_;
};

}  // namespace hu::demo
