#pragma once
// The sub-commands of `hu`, one file each (cmd_<name>.cpp). Each takes the arguments after
// its name, reads them with cli::Parser (cli_support.h) and returns the process exit code: 0 on
// success, 1 on failure, 2 for a command line it cannot take; on failure it prints one clear
// line to stderr ("hu init: /x exists and is not empty").

#include <string>
#include <vector>

namespace hu {

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* usage;    // one line: "hu init DIR [--force] ..."
    const char* summary;  // one line: what it does
    int (*run)(const Args& args);
};

// The table of commands, in the order `hu --help` lists them (main.cpp).
const std::vector<Command>& commands();

}  // namespace hu
