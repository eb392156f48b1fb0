#include "tools/hu/demo/json_events.h"

#include "sim/board/fault_plan.h"

namespace hu::demo {

void JsonEvents::write(nlohmann::json event) {
    if (!event.contains("time")) event["time"] = static_cast<double>(sim::monotonicMs() - startMs_) / 1000.0;
    // Texts from the screen may hold bytes that are not UTF-8: they are replaced, never fatal.
    const std::string line = event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::lock_guard lock(mutex_);
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
}

}  // namespace hu::demo
