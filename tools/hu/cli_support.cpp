#include "tools/hu/cli_support.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <regex>

namespace hu::cli {

namespace {

std::string rangeText(long long lo, long long hi) { return std::to_string(lo) + ".." + std::to_string(hi); }

std::string numberText(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", v);
    return b;
}

// "42", "-3", "0x1F": a whole number, or nothing (never octal: "010" is ten).
std::optional<long long> parseWhole(const std::string& text) {
    const char* p = text.data();
    const char* end = p + text.size();
    const bool negative = p != end && *p == '-';
    if (negative) ++p;
    int base = 10;
    if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        p += 2;
        base = 16;
    }
    if (p == end) return std::nullopt;
    unsigned long long magnitude = 0;
    const auto [stop, ec] = std::from_chars(p, end, magnitude, base);
    if (stop != end) return std::nullopt;
    // Too large for any range we check: as good as out of range.
    if (ec == std::errc::result_out_of_range || magnitude > 0x7FFFFFFFFFFFFFFFull) return negative ? LLONG_MIN : LLONG_MAX;
    if (ec != std::errc()) return std::nullopt;
    return negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
}

// "" when value is a whole number in lo..hi, which it then holds in decimal (for CLI11 to
// store), else what is wrong with it.
std::string wholeProblem(std::string& value, long long lo, long long hi) {
    const auto n = parseWhole(value);
    const bool anyNumber = lo <= LLONG_MIN / 2 && hi >= LLONG_MAX / 2;
    if (!n) return value + " is not a whole number" + (anyNumber ? "" : " (" + rangeText(lo, hi) + ")");
    if (*n < lo || *n > hi) return "value " + value + " is not in " + rangeText(lo, hi);
    value = std::to_string(*n);
    return {};
}

CLI::Validator wholeIn(long long lo, long long hi) {
    return CLI::Validator([lo, hi](std::string& value) { return wholeProblem(value, lo, hi); }, "", "");
}

CLI::Validator secondsIn(double lo, double hi) {
    return CLI::Validator(
        [lo, hi](std::string& value) -> std::string {
            char* end = nullptr;
            const double v = std::strtod(value.c_str(), &end);
            if (value.empty() || *end || !std::isfinite(v)) return value + " is not a number of seconds";
            if (v < lo || v > hi) return "value " + value + " is not in " + numberText(lo) + ".." + numberText(hi) + " seconds";
            return {};
        },
        "", "");
}

CLI::Validator checked(Check check) {
    return CLI::Validator([check = std::move(check)](std::string& value) { return check(value); }, "", "");
}

// The user's own words for CLI11's messages.
std::string plainWords(const CLI::Error& error) {
    const std::string what = error.what();
    std::smatch m;
    static const std::regex missingValue("^(\\S+): \\d+ required (.*) missing$");
    if (std::regex_match(what, m, missingValue)) return m[1].str() + ": missing " + m[2].str();
    static const std::regex required("^(\\S+) is required$");
    if (std::regex_match(what, m, required)) return "missing " + m[1].str();
    return what;
}

}  // namespace

Parser::Parser(const std::string& name, const std::string& description)
    : owned_(std::make_unique<CLI::App>(description, name)), app_(owned_.get()), verbName_(name) {
    app_->allow_extras();  // said in one line by parse(), with the first one named
    app_->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);  // "--timeout 5 --timeout 9": 9
    app_->set_help_flag("-h,--help", "print this help and exit");
    const auto& format = app_->get_formatter();  // shared with the verbs
    format->column_width(34);
    format->label("SUBCOMMAND", "VERB");
}

Parser::Parser(CLI::App* app, std::string verbName) : app_(app), verbName_(std::move(verbName)) {}

Parser::~Parser() = default;

Parser& Parser::headUnit(std::string& dir) {
    return positional("DIR", dir, "the head unit's folder (hu init makes one)");
}

Parser& Parser::positional(const char* name, std::string& into, const char* description, Check check) {
    auto* option = app_->add_option(name, into, description)->required()->type_name("");
    if (check) option->check(checked(std::move(check)));
    return *this;
}

Parser& Parser::optionalPositional(const char* name, std::string& into, const char* description) {
    app_->add_option(name, into, description)->type_name("");
    return *this;
}

Parser& Parser::positional(const char* name, long long& into, long long lo, long long hi, const char* description) {
    app_->add_option(name, into, description)->required()->type_name("")->check(wholeIn(lo, hi));
    return *this;
}

Parser& Parser::flag(const char* name, bool& into, const char* description) {
    app_->add_flag(name, into, description);
    return *this;
}

Parser& Parser::flag(const char* name, const char* description, std::function<void()> given) {
    app_->add_flag_callback(name, std::move(given), description);
    return *this;
}

Parser& Parser::text(const char* name, const char* valueName, std::string& into, const char* description, Check check) {
    auto* option = app_->add_option(name, into, description)->type_name(valueName);
    if (check) option->check(checked(std::move(check)));
    return *this;
}

Parser& Parser::option(const char* name, const char* valueName, const char* description, Check take) {
    app_->add_option_function<std::string>(name, [](const std::string&) {}, description)
        ->type_name(valueName)
        ->check(checked(std::move(take)));
    return *this;
}

Parser& Parser::texts(const char* name, const char* valueName, std::vector<std::string>& into, const char* description,
                      bool allowNone, Check check) {
    auto* option = app_->add_option_function<std::vector<std::string>>(
                           name,
                           [&into](const std::vector<std::string>& values) {
                               for (const auto& v : values)
                                   if (!v.empty()) into.push_back(v);
                           },
                           description)
                       ->type_name(valueName)
                       ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
                       ->expected(allowNone ? 0 : 1, CLI::detail::expected_max_vector_size);
    if (check) option->check(checked([check = std::move(check)](std::string& v) { return v.empty() ? std::string() : check(v); }));
    return *this;
}

Parser& Parser::number(const char* name, const char* valueName, int& into, long long lo, long long hi, const char* description) {
    app_->add_option(name, into, description)->type_name(valueName)->check(wholeIn(lo, hi));
    return *this;
}

Parser& Parser::number(const char* name, const char* valueName, uint32_t& into, long long lo, long long hi,
                       const char* description) {
    app_->add_option(name, into, description)->type_name(valueName)->check(wholeIn(lo, hi));
    return *this;
}

Parser& Parser::number(const char* name, const char* valueName, uint64_t& into, long long lo, long long hi,
                       const char* description) {
    app_->add_option(name, into, description)->type_name(valueName)->check(wholeIn(lo, hi));
    return *this;
}

Parser& Parser::number(const char* name, const char* valueName, long long& into, long long lo, long long hi,
                       const char* description) {
    app_->add_option(name, into, description)->type_name(valueName)->check(wholeIn(lo, hi));
    return *this;
}

Parser& Parser::seconds(const char* name, double& into, double lo, double hi, const char* description) {
    app_->add_option(name, into, description)->type_name("S")->check(secondsIn(lo, hi));
    return *this;
}

Parser& Parser::choice(const char* name, const char* valueName, std::string& into, std::initializer_list<const char*> words,
                       const char* description) {
    std::vector<std::string> allowed(words.begin(), words.end());
    Check check = [allowed](std::string& value) -> std::string {
        for (const auto& w : allowed)
            if (value == w) return {};
        std::string list;
        for (const auto& w : allowed) list += (list.empty() ? "" : ", ") + w;
        return "'" + value + "' is not one of " + list;
    };
    if (name[0] != '-') return positional(name, into, description, std::move(check));
    return text(name, valueName, into, description, std::move(check));
}

Parser& Parser::verb(const char* name, const char* description) {
    CLI::App* sub = app_->add_subcommand(name, description);
    sub->allow_extras();
    sub->group("Verbs");
    app_->require_subcommand(verbRequired_ ? 1 : 0, 1);
    verbs_.push_back(std::unique_ptr<Parser>(new Parser(sub, name)));
    return *verbs_.back();
}

Parser& Parser::verbRequired() {
    verbRequired_ = true;
    app_->require_subcommand(1, 1);
    return *this;
}

const Parser* Parser::chosenVerb() const {
    for (const auto& v : verbs_)
        if (v->app_->parsed()) return v.get();
    return nullptr;
}

bool Parser::given(const char* name) const { return app_->count(name) > 0; }

Parser& Parser::footer(const std::string& text) {
    app_->footer(text);
    return *this;
}

Parser& Parser::version(const std::string& line) {
    app_->set_version_flag("--version", line, "print the version and exit");
    return *this;
}

// What is wrong with the command line, in one line: the first argument nobody took, else
// CLI11's finding in plain words.
std::string Parser::problem(const std::exception& error) const {
    auto verbNames = [](const Parser& p) {
        std::string names;
        for (const auto& v : p.verbs_) names += (names.empty() ? "" : ", ") + v->verbName_;
        return names;
    };
    const Parser* deepest = this;
    for (const Parser* level = this; level; level = level->chosenVerb()) {
        deepest = level;
        for (const std::string& extra : level->app_->remaining()) {
            if (extra.size() > 1 && extra[0] == '-' && !parseWhole(extra)) return "unknown option " + extra.substr(0, extra.find('='));
            if (!level->verbs_.empty() && !level->chosenVerb()) return "unknown verb '" + extra + "' (" + verbNames(*level) + ")";
            return "unexpected argument '" + extra + "'";
        }
    }
    if (!deepest->verbs_.empty() && std::string(error.what()).find("subcommand") != std::string::npos)
        return "missing the verb (" + verbNames(*deepest) + ")";
    if (const auto* cliError = dynamic_cast<const CLI::Error*>(&error)) return plainWords(*cliError);
    return error.what();
}

std::optional<int> Parser::parse(const Args& args) {
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
    // The way to this level's help: "hu ctl DIR tap --help".
    auto helpLine = [&] {
        std::string line = verbName_;
        const Parser* level = this;
        while (const Parser* v = level->chosenVerb()) {
            for (const auto* p : level->app_->get_options([](const CLI::Option* o) { return o->get_positional(); }))
                line += " " + p->get_name();
            line += " " + v->verbName_;
            level = v;
        }
        return line;
    };
    std::string failure;
    try {
        app_->parse(reversed);
        const Parser* level = this;
        bool extras = !app_->remaining().empty();
        while ((level = level->chosenVerb())) extras |= !level->app_->remaining().empty();
        if (!extras) return std::nullopt;
        failure = problem(CLI::ExtrasError(app_->remaining(true)));
    } catch (const CLI::CallForHelp&) {
        const Parser* level = this;
        while (const Parser* v = level->chosenVerb()) level = v;
        // help() adds the verb's own name to the way there.
        const std::string way = helpLine();
        std::fputs(level == this ? app_->help().c_str() : level->app_->help(way.substr(0, way.rfind(' '))).c_str(), stdout);
        return 0;
    } catch (const CLI::CallForVersion& e) {
        std::printf("%s\n", e.what());
        return 0;
    } catch (const CLI::ParseError& e) {
        failure = problem(e);
    }
    std::fprintf(stderr, "%s: %s (%s --help)\n", verbName_.c_str(), failure.c_str(), helpLine().c_str());
    return 2;
}

Check wholeNumber(long long lo, long long hi, std::function<void(long long)> take) {
    return [lo, hi, take = std::move(take)](std::string& value) {
        std::string problem = wholeProblem(value, lo, hi);
        if (problem.empty()) take(std::stoll(value));
        return problem;
    };
}

std::vector<std::string> splitList(const std::string& list) {
    std::vector<std::string> items(1);
    for (char c : list) {
        if (c == ',') items.emplace_back();
        else items.back() += c;
    }
    return items;
}

}  // namespace hu::cli
