#pragma once
// Runs a command line as a person would in a shell and keeps what it printed.

#include <string>

namespace hu::testing {

struct Outcome {
    int status = -1;  // exit status; 128 + N when killed by signal N
    std::string out;
    std::string err;
};

// Runs command under /bin/sh with the given environment assignments in front ("A=1 B=2"),
// stopped after timeoutSeconds.
Outcome runCommand(const std::string& command, const std::string& environment = "", int timeoutSeconds = 60);

// The hu of this build with its arguments.
std::string hu(const std::string& arguments);
// A program of this build ("UpdateXan").
std::string program(const std::string& name);

}  // namespace hu::testing
