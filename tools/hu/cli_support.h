#pragma once
// How every `hu` command reads its command line: a small front over the CLI11 library, so that
// the same things have the same words in every command (DIR, --file, --timeout, --json), every
// command and verb answers --help with every option, and a mistake is one line on stderr
// ("hu init: --code-page: value 99999999999 is not in 1..65535 (hu init --help)") with exit
// status 2. CLI11 itself is included by cli_support.cpp alone: it is a heavy header.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/hu/commands.h"

namespace CLI {
class App;
}

namespace hu::cli {

// Checks (and may rewrite) one value; returns "" when it is good, else what is wrong with it
// ("bad link 'COM5': expected COMn=PATH").
using Check = std::function<std::string(std::string& value)>;

class Parser {
public:
    // name: as the user types it ("hu init"); description: one line for --help.
    Parser(const std::string& name, const std::string& description);
    ~Parser();
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    // The head unit's folder, the first positional of nearly every command.
    Parser& headUnit(std::string& dir);
    // Positionals in the order given; required unless said otherwise.
    Parser& positional(const char* name, std::string& into, const char* description, Check check = {});
    Parser& optionalPositional(const char* name, std::string& into, const char* description);
    Parser& positional(const char* name, long long& into, long long lo, long long hi, const char* description);
    // Options. valueName names the value in --help ("N", "FILE", "S").
    Parser& flag(const char* name, bool& into, const char* description);
    Parser& flag(const char* name, const char* description, std::function<void()> given);
    Parser& text(const char* name, const char* valueName, std::string& into, const char* description, Check check = {});
    // An option whose value only take() sees: it checks the value and keeps what it needs.
    Parser& option(const char* name, const char* valueName, const char* description, Check take);
    // One or more values after the option (--sflash A B C); with allowNone, the option alone too.
    Parser& texts(const char* name, const char* valueName, std::vector<std::string>& into, const char* description,
                  bool allowNone = false, Check check = {});
    Parser& number(const char* name, const char* valueName, int& into, long long lo, long long hi, const char* description);
    Parser& number(const char* name, const char* valueName, uint32_t& into, long long lo, long long hi,
                   const char* description);
    Parser& number(const char* name, const char* valueName, uint64_t& into, long long lo, long long hi,
                   const char* description);
    Parser& number(const char* name, const char* valueName, long long& into, long long lo, long long hi,
                   const char* description);
    // Seconds, fractions allowed ("--timeout 0.5").
    Parser& seconds(const char* name, double& into, double lo, double hi, const char* description);
    // One of a fixed set of words; a positional unless name starts with "-".
    Parser& choice(const char* name, const char* valueName, std::string& into, std::initializer_list<const char*> words,
                   const char* description);

    // A verb (hu ctl DIR tap ...): a parser of its own for what follows it.
    Parser& verb(const char* name, const char* description);
    // One of the verbs must be given.
    Parser& verbRequired();
    // The verb given, after parse.
    const Parser* chosenVerb() const;
    const std::string& name() const { return verbName_; }
    // True when the option or positional was on the command line.
    bool given(const char* name) const;

    // Extra text at the end of --help.
    Parser& footer(const std::string& text);
    // --version prints this line.
    Parser& version(const std::string& line);

    // Reads args. Nothing when the command should go on; else the exit status to return: 0 after
    // --help (printed on stdout), 2 after a mistake (one line on stderr).
    std::optional<int> parse(const Args& args);

private:
    Parser(CLI::App* app, std::string verbName);
    std::string problem(const std::exception& error) const;

    std::unique_ptr<CLI::App> owned_;
    CLI::App* app_;
    std::string verbName_;
    std::vector<std::unique_ptr<Parser>> verbs_;
    bool verbRequired_ = false;
};

// A check of a whole number in lo..hi (decimal or 0x..) that hands it to take.
Check wholeNumber(long long lo, long long hi, std::function<void(long long)> take);

// "A,B,,C" -> {"A", "B", "", "C"}.
std::vector<std::string> splitList(const std::string& list);

}  // namespace hu::cli
