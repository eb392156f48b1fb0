#pragma once
// TerminalView: what the demo shows in the terminal while it runs.
//
// Two kinds of output: lines ("[  4.1 s] pressed START"), each stamped with the time since the
// demo began, and the live status of the current step: its name, a progress bar and the
// page's own status text. On a terminal the live status is one line redrawn in place; into a
// file or a pipe it is written as a line of its own only when the text says something new
// (a change of numbers or dots alone is not news), so a log of the run stays short.
// Safe to call from several threads.

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "tools/hu/demo/json_events.h"

namespace hu::demo {

class TerminalView {
public:
    TerminalView(FILE* out, uint64_t startMs);

    // Every line also goes to `events` as {"event": "note", "text": ...}.
    void mirrorTo(JsonEvents* events) { events_ = events; }

    void line(const std::string& text);
    void status(const std::string& step, int position, int maximum, const std::string& text);
    // Ends the live line (before a summary, or when no step is current).
    void endStatus();

    // "[#######.............]  35 %" for a position in 0..maximum.
    static std::string progressBar(int position, int maximum, int width = 24);
    // The text with digits, '%' and dots taken out: what has to change for a new line.
    static std::string gist(const std::string& text);

private:
    std::string stamp() const;
    void clearLive();

    std::mutex mutex_;
    FILE* out_;
    bool tty_;
    uint64_t startMs_;
    std::string live_;      // the live line as shown (terminal)
    std::string lastGist_;  // step + gist of the last status written (file or pipe)
    JsonEvents* events_ = nullptr;
};

}  // namespace hu::demo
