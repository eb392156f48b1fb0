#pragma once
// The sub-commands of `hu`, one file each (cmd_<name>.cpp). Each takes the arguments after
// its name and returns the process exit code; on failure it prints one clear line to stderr
// ("hu init: /x exists and is not empty") and returns non-zero.

#include <string>
#include <vector>

namespace hu {

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* usage;    // one line: "init DIR"
    const char* summary;  // one line: what it does
    int (*run)(const Args& args);
};

// The table of commands, in the order `hu --help` lists them (main.cpp).
const std::vector<Command>& commands();

}  // namespace hu
