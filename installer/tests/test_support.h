#pragma once
// Helpers of the installer's tests: files on the host side of a temporary head unit, and an
// InstallView that records what the engine showed.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "installer/engine/install_run.h"

namespace installer::testing {

inline void writeHostFile(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readHostFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the engine did to the screen, in order.
class RecordingView : public InstallView {
public:
    struct Event {
        enum Kind { Status, Range, Pos, Front, Pump } kind;
        std::string text;
        int32_t value = 0;
    };

    void SetStatusText(const std::string& text) override { events.push_back({Event::Status, text, 0}); }
    void SetProgressRange(int32_t maximum) override { events.push_back({Event::Range, {}, maximum}); }
    void SetProgressPos(int32_t position) override { events.push_back({Event::Pos, {}, position}); }
    void BringToFrontIfNotForeground() override { events.push_back({Event::Front, {}, 0}); }
    void PumpMessages() override {
        events.push_back({Event::Pump, {}, 0});
        if (onPump) onPump();
    }

    std::vector<std::string> statusTexts() const {
        std::vector<std::string> texts;
        for (const auto& e : events)
            if (e.kind == Event::Status) texts.push_back(e.text);
        return texts;
    }
    std::vector<int32_t> values(Event::Kind kind) const {
        std::vector<int32_t> out;
        for (const auto& e : events)
            if (e.kind == kind) out.push_back(e.value);
        return out;
    }
    int count(Event::Kind kind) const { return static_cast<int>(values(kind).size()); }

    std::vector<Event> events;
    std::function<void()> onPump;  // what a message handled during a pump does
};

}  // namespace installer::testing
