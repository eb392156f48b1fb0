#include "tools/hu/demo/interruption.h"

#include <signal.h>

#include <cstring>
#include <string>

namespace hu::demo {

namespace {

volatile sig_atomic_t g_signal = 0;

void remember(int signal) {
    if (g_signal == 0) g_signal = signal;
}

std::string describe(int signal) {
    if (signal == SIGINT) return "Ctrl-C";
    const char* name = sigabbrev_np(signal);
    return name ? std::string("SIG") + name : "signal " + std::to_string(signal);
}

}  // namespace

void catchInterruptions() {
    struct sigaction action {};
    action.sa_handler = remember;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

int interruptionSignal() { return g_signal; }

Interrupted::Interrupted(int signal)
    : std::runtime_error("interrupted by " + describe(signal)),
      signal_(signal) {}

void throwIfInterrupted() {
    if (int signal = g_signal) throw Interrupted(signal);
}

}  // namespace hu::demo
