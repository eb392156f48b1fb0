#pragma once
// Debug output (the device's debug port) and the narrow console output.
//
// Both go to the program's log file (log/<program>.log in the head unit) and to stderr, one
// whole line per write, so that lines of several threads never interleave. Formats are the
// programs' own printf-style formats, kept verbatim ("### UPDATE_XAN:0x%04X \n") and
// rendered with fmt::sprintf; "%s" takes UTF-8 strings. Tests capture the output with
// DebugCapture.

#include <fmt/printf.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ce {

enum class OutputChannel { Debug, Console };

// Writes text as it stands (no newline added).
void writeOutput(OutputChannel channel, std::string_view text);

template <class... Args>
void debugPrint(const char* format, const Args&... args) {
    writeOutput(OutputChannel::Debug, fmt::sprintf(format, args...));
}

template <class... Args>
void consolePrint(const char* format, const Args&... args) {
    writeOutput(OutputChannel::Console, fmt::sprintf(format, args...));
}

// Name of the running program, used for its log file name; set by initProgram().
void setProgramName(std::string_view name);
const std::string& programName();

// Collects everything written while it lives (both channels, in order), in addition to the
// normal destinations. Captures nest; each sees every write made during its lifetime.
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::string text() const;                            // all writes concatenated
    std::string text(OutputChannel channel) const;       // one channel
    std::vector<std::string> writes() const;             // each write as made
    bool contains(std::string_view needle) const;
    void clear();

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace ce
