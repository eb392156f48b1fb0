#pragma once
// Runs a command line as a person would in a shell and keeps what it printed.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace hu::testing {

struct Outcome {
    int status = -1;  // exit status; 128 + N when killed by signal N
    std::string out;
    std::string err;
};

// Runs command under /bin/sh with the given environment assignments in front ("A=1 B=2"),
// stopped after timeoutSeconds.
Outcome runCommand(const std::string& command, const std::string& environment = "", int timeoutSeconds = 60);

// A program started in the background (no shell), its output kept in files; ended with
// SIGTERM when the object goes, unless it ended before.
class Background {
public:
    explicit Background(const std::vector<std::string>& argv);
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    std::string out() const;
    std::string err() const;
    // Sends signal and waits for the end; the exit status (128 + N when killed by signal N).
    int stop(int signal);
    // Waits up to timeoutSeconds for the output to hold text.
    bool waitForOutput(const std::string& text, int timeoutSeconds = 60) const;

private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::filesystem::path dir_;
};

// The hu of this build with its arguments.
std::string hu(const std::string& arguments);
// A program of this build ("UpdateXan").
std::string program(const std::string& name);

}  // namespace hu::testing
