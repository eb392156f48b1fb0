// Route files: the text format line by line, the JSON format through the same event words,
// so both formats accept and refuse exactly the same events.

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>

#include "sim/navigation/route.h"

namespace sim::nav {

namespace {

constexpr size_t kMaxRouteBytes = 1 << 20;
constexpr size_t kMaxEvents = 10000;
constexpr double kMaxSeconds = 24 * 3600;
constexpr uint32_t kDefaultPanelWaitMs = 30000;

// One event as written, before its meaning is checked.
struct EventWords {
    int line = 0;
    bool relative = false;
    double seconds = 0;
    std::string name;
    std::optional<std::string> value;                         // the VALUE after the name
    std::vector<std::pair<std::string, std::string>> options;  // KEY VALUE pairs
};

struct ActionName {
    const char* name;
    RouteAction action;
};
constexpr ActionName kActions[] = {
    {"show", RouteAction::Show},           {"hide", RouteAction::Hide},
    {"subscribe", RouteAction::SubscribeOn}, {"speed", RouteAction::Speed},
    {"start", RouteAction::Start},         {"goal", RouteAction::Goal},
    {"route-found", RouteAction::RouteFound}, {"raise", RouteAction::Raise},
    {"end-guide", RouteAction::EndGuide},  {"destroy", RouteAction::Destroy},
    {"manoeuvre", RouteAction::Manoeuvre}, {"safety", RouteAction::Safety},
    {"wait-panel", RouteAction::WaitPanel}, {"wait-no-panel", RouteAction::WaitNoPanel},
};

bool parseSeconds(std::string_view text, double* seconds) {
    if (text.empty() || text.front() == '-' || text.front() == '+') return false;
    double v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v) || v < 0 || v > kMaxSeconds) return false;
    *seconds = v;
    return true;
}

// The meaning of one event; "" or what is wrong with it.
std::string buildEvent(const EventWords& w, RouteEvent* event) {
    const ActionName* known = nullptr;
    for (const auto& a : kActions)
        if (w.name == a.name) known = &a;
    if (!known) {
        std::string names;
        for (const auto& a : kActions) names += (names.empty() ? "" : ", ") + std::string(a.name);
        return fmt::format("unknown event \"{}\" (events: {})", w.name, names);
    }
    event->action = known->action;
    event->line = w.line;
    const RouteAction a = known->action;
    const bool takesValue = a == RouteAction::SubscribeOn || a == RouteAction::Speed || a == RouteAction::Safety ||
                            a == RouteAction::WaitPanel || a == RouteAction::WaitNoPanel;
    const bool takesOptions = a == RouteAction::Manoeuvre || a == RouteAction::Safety;
    if (w.value && !takesValue) return fmt::format("{} takes no value (\"{}\")", w.name, *w.value);
    if (!w.options.empty() && !takesOptions) return fmt::format("{} takes no options (\"{}\")", w.name, w.options.front().first);

    switch (a) {
    case RouteAction::SubscribeOn:
        if (!w.value || (*w.value != "on" && *w.value != "off")) return "subscribe needs on or off";
        if (*w.value == "off") event->action = RouteAction::SubscribeOff;
        return {};
    case RouteAction::Speed: {
        uint64_t kmh = 0;
        if (!w.value || !parseUnsigned(*w.value, 999, &kmh))
            return fmt::format("speed needs km/h from 0 to 999{}", w.value ? ", not \"" + *w.value + "\"" : "");
        event->value = static_cast<uint32_t>(kmh);
        return {};
    }
    case RouteAction::WaitPanel:
    case RouteAction::WaitNoPanel: {
        double seconds = kDefaultPanelWaitMs / 1000.0;
        if (w.value && !parseSeconds(*w.value, &seconds)) return fmt::format("{} needs seconds, not \"{}\"", w.name, *w.value);
        event->value = static_cast<uint32_t>(std::lround(seconds * 1000));
        return {};
    }
    case RouteAction::Manoeuvre:
    case RouteAction::Safety: {
        if (a == RouteAction::Safety) {
            if (!w.value) return "safety needs a code (0..255) or none";
            if (*w.value != "none") {
                if (std::string e = setGuidanceField(event->guidance, "safety", *w.value); !e.empty()) return e;
            }
        }
        const std::vector<std::string> allowed =
            a == RouteAction::Manoeuvre ? std::vector<std::string>{"turn", "distance", "road1", "road2"}
                                        : std::vector<std::string>{"limit", "camera"};
        bool turn = false, distance = false;
        for (const auto& [key, value] : w.options) {
            if (std::find(allowed.begin(), allowed.end(), key) == allowed.end())
                return fmt::format("{} takes {}, not \"{}\"", w.name, fmt::join(allowed, ", "), key);
            if (std::string e = setGuidanceField(event->guidance, key, value); !e.empty()) return e;
            turn |= key == "turn";
            distance |= key == "distance";
            event->road1Given |= key == "road1";
            event->road2Given |= key == "road2";
        }
        if (a == RouteAction::Manoeuvre && (!turn || !distance)) return "manoeuvre needs turn and distance";
        return {};
    }
    default:
        return {};
    }
}

// Splits a text line into words: blanks separate, double quotes group (\" and \\ escape),
// '#' outside quotes ends the line. Returns "" or what is wrong.
std::string splitWords(std::string_view line, std::vector<std::string>* words) {
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            std::string word;
            for (++i;; ++i) {
                if (i >= line.size()) return "a quoted value is not closed";
                if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
                    word += line[++i];
                } else if (line[i] == '"') {
                    ++i;
                    break;
                } else {
                    word += line[i];
                }
            }
            words->push_back(std::move(word));
        } else {
            const size_t start = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '"' && line[i] != '#') ++i;
            words->emplace_back(line.substr(start, i - start));
        }
    }
    return {};
}

std::string wordsFromLine(std::string_view line, int number, std::optional<EventWords>* out) {
    std::vector<std::string> words;
    if (std::string e = splitWords(line, &words); !e.empty()) return e;
    if (words.empty()) return {};
    if (words.size() < 2) return "an event needs a time and a name (\"+1.5 show\")";
    EventWords w;
    w.line = number;
    std::string_view time = words[0];
    if (!time.empty() && time.front() == '+') {
        w.relative = true;
        time.remove_prefix(1);
    }
    if (!parseSeconds(time, &w.seconds))
        return fmt::format("\"{}\" is no time (seconds from the start, or +seconds after the previous event)", words[0]);
    w.name = words[1];
    size_t next = 2;
    if ((words.size() - next) % 2 == 1) w.value = words[next++];
    for (; next + 1 < words.size(); next += 2) w.options.emplace_back(words[next], words[next + 1]);
    *out = std::move(w);
    return {};
}

// The line on which each element of the top-level JSON array starts (the text is valid JSON).
std::vector<int> elementLines(std::string_view text) {
    std::vector<int> lines;
    int line = 1, depth = 0;
    bool inString = false, escaped = false, expecting = false;
    for (char c : text) {
        if (c == '\n') ++line;
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
            continue;
        }
        const bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
        if (expecting && !blank && c != ']') {
            lines.push_back(line);
            expecting = false;
        }
        if (c == '"') inString = true;
        else if (c == '[' || c == '{') expecting = ++depth == 1;
        else if (c == ']' || c == '}') --depth;
        else if (c == ',' && depth == 1) expecting = true;
    }
    return lines;
}

std::string scalarText(const nlohmann::json& v, bool* ok) {
    *ok = true;
    if (v.is_string()) return v.get<std::string>();
    if (v.is_number_unsigned()) return std::to_string(v.get<uint64_t>());
    if (v.is_number_integer()) return std::to_string(v.get<int64_t>());
    if (v.is_number_float()) return fmt::format("{}", v.get<double>());
    *ok = false;
    return {};
}

std::string wordsFromJson(const nlohmann::json& object, int line, EventWords* w) {
    if (!object.is_object()) return "each event is an object ({\"at\": 0, \"event\": \"show\"})";
    w->line = line;
    bool timed = false;
    for (const auto& [key, value] : object.items()) {
        bool ok = false;
        const std::string text = scalarText(value, &ok);
        if (!ok) return fmt::format("\"{}\" must be a number or a string", key);
        if (key == "at" || key == "after") {
            if (timed) return "give either \"at\" or \"after\", once";
            timed = true;
            w->relative = key == "after";
            if (!value.is_number() || !parseSeconds(text, &w->seconds))
                return fmt::format("\"{}\" must be seconds from 0 to {}", key, kMaxSeconds);
        } else if (key == "event") {
            w->name = text;
        } else if (key == "value") {
            w->value = text;
        } else {
            w->options.emplace_back(key, text);
        }
    }
    if (!timed) w->relative = true;  // right after the previous event
    if (w->name.empty()) return "an event needs \"event\" (its name)";
    return {};
}

// Adds one event's words to the route: its time, its meaning.
std::string addEvent(const EventWords& w, Route* route, uint32_t* clockMs) {
    if (route->events.size() >= kMaxEvents) return fmt::format("more than {} events", kMaxEvents);
    const double ms = std::round(w.seconds * 1000.0);
    const double at = w.relative ? *clockMs + ms : ms;
    if (at < *clockMs) return fmt::format("time {:g} s lies before the previous event ({:g} s)", at / 1000.0, *clockMs / 1000.0);
    if (at > kMaxSeconds * 1000) return fmt::format("the route is longer than {} hours", kMaxSeconds / 3600);
    RouteEvent event;
    if (std::string e = buildEvent(w, &event); !e.empty()) return e;
    event.atMs = static_cast<uint32_t>(at);
    *clockMs = event.atMs;
    route->events.push_back(std::move(event));
    return {};
}

std::optional<Route> parseText(std::string_view text, const std::string& name, std::string* error) {
    Route route;
    route.name = name;
    uint32_t clock = 0;
    int number = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        std::optional<EventWords> words;
        std::string e = wordsFromLine(line, number, &words);
        if (e.empty() && words) e = addEvent(*words, &route, &clock);
        if (!e.empty()) {
            *error = fmt::format("{}:{}: {}", name, number, e);
            return std::nullopt;
        }
    }
    return route;
}

int lineAt(std::string_view text, size_t offset) {
    int line = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) line += text[i] == '\n' ? 1 : 0;
    return line;
}

std::optional<Route> parseJson(std::string_view text, const std::string& name, std::string* error) {
    nlohmann::json doc;
    try {
        doc = nlohmann::json::parse(text);
    } catch (const nlohmann::json::parse_error& e) {
        // The message reads "[json.exception.parse_error.101] parse error at line 3, column 7: ...".
        std::string what = e.what();
        if (const size_t colon = what.find("]"); colon != std::string::npos) what = what.substr(colon + 2);
        *error = fmt::format("{}:{}: not valid JSON: {}", name, lineAt(text, e.byte ? e.byte - 1 : 0), what);
        return std::nullopt;
    }
    if (!doc.is_array()) {
        *error = fmt::format("{}:1: a JSON route is an array of events", name);
        return std::nullopt;
    }
    const std::vector<int> lines = elementLines(text);
    Route route;
    route.name = name;
    uint32_t clock = 0;
    for (size_t i = 0; i < doc.size(); ++i) {
        const int line = i < lines.size() ? lines[i] : 1;
        EventWords words;
        std::string e = wordsFromJson(doc[i], line, &words);
        if (e.empty()) e = addEvent(words, &route, &clock);
        if (!e.empty()) {
            *error = fmt::format("{}:{}: {}", name, line, e);
            return std::nullopt;
        }
    }
    return route;
}

}  // namespace

std::optional<Route> parseRoute(std::string_view text, const std::string& name, std::string* error) {
    if (text.size() > kMaxRouteBytes) {
        *error = fmt::format("{}: larger than {} bytes", name, kMaxRouteBytes);
        return std::nullopt;
    }
    if (text.size() >= 3 && static_cast<uint8_t>(text[0]) == 0xEF && static_cast<uint8_t>(text[1]) == 0xBB &&
        static_cast<uint8_t>(text[2]) == 0xBF)
        text.remove_prefix(3);  // a UTF-8 byte order mark
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && text[first] == '[') return parseJson(text, name, error);
    return parseText(text, name, error);
}

std::optional<Route> loadRoute(const std::filesystem::path& file, std::string* error) {
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (std::filesystem::is_directory(status)) {
        *error = fmt::format("{}: is a folder, not a route file", file.string());
        return std::nullopt;
    }
    // A pipe or a device could keep the reader waiting or feed it without end.
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        *error = fmt::format("{}: is not a regular file", file.string());
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        *error = fmt::format("{}: cannot be read", file.string());
        return std::nullopt;
    }
    std::string text(kMaxRouteBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (in.bad()) {
        *error = fmt::format("{}: cannot be read", file.string());
        return std::nullopt;
    }
    return parseRoute(text, file.string(), error);
}

const char* actionName(RouteAction action) {
    if (action == RouteAction::SubscribeOff) return "subscribe";
    for (const auto& a : kActions)
        if (a.action == action) return a.name;
    return "?";
}

}  // namespace sim::nav
