#pragma once
// Ctrl-C and its relatives, turned into a flag the demo checks while it waits.
//
// SIGINT, SIGTERM and SIGHUP do not end the demo at once: they set a flag, every wait of the
// demo sees it within a few milliseconds, and the demo then stops its children and removes
// what it made before it exits with 128 + the signal's number. SIGPIPE is ignored, so that a
// closed output pipe cannot end the demo in the middle of its clean-up either.

#include <stdexcept>

namespace hu::demo {

// Installs the handlers (once per process).
void catchInterruptions();

// The signal that asked the demo to stop, 0 while none did.
int interruptionSignal();

// Thrown by the demo's waits once an interruption arrived.
class Interrupted : public std::runtime_error {
public:
    explicit Interrupted(int signal);
    int signal() const { return signal_; }

private:
    int signal_;
};

// Throws Interrupted when an interruption arrived.
void throwIfInterrupted();

}  // namespace hu::demo
