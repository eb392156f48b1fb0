#include "installer/ini/ini_reader.h"

#include <fmt/format.h>

#include <optional>

#include "platform/core/files.h"

namespace installer {
namespace {

// One scanned key line: the raw name before the equals sign and the raw captured value.
struct KeyLine {
    std::string_view name;
    std::string_view value;
};

// Length of the run at pos of characters not in stops (a scanf "%[^...]" set).
size_t runLength(std::string_view text, size_t pos, std::string_view stops) {
    size_t end = pos;
    while (end < text.size() && stops.find(text[end]) == std::string_view::npos) ++end;
    return end - pos;
}

size_t skipSpace(std::string_view text, size_t pos) {
    while (pos < text.size() && IsCSpace(text[pos])) ++pos;
    return pos;
}

// name = <quote>value  (quote 0: the plain form, whose value stops at ";" or "#").
// Both the name and the value must have at least one character.
std::optional<KeyLine> scanKeyLine(std::string_view line, char quote) {
    const size_t nameLength = runLength(line, 0, "=");
    if (nameLength == 0) return std::nullopt;
    size_t pos = skipSpace(line, nameLength);
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    pos = skipSpace(line, pos + 1);
    std::string_view stops = ";#";
    if (quote != 0) {
        if (pos >= line.size() || line[pos] != quote) return std::nullopt;
        ++pos;
        stops = std::string_view(&quote, 1);
    }
    const size_t valueLength = runLength(line, pos, stops);
    if (valueLength == 0) return std::nullopt;
    return KeyLine{line.substr(0, nameLength), line.substr(pos, valueLength)};
}

// "[name" or "[name]...": the name runs to the first "]" or to the end of the line.
std::optional<std::string_view> scanSectionHeader(std::string_view line) {
    if (line.empty() || line[0] != '[') return std::nullopt;
    const size_t length = runLength(line, 1, "]");
    if (length == 0) return std::nullopt;
    return line.substr(1, length);
}

std::string valueOf(std::string_view captured) {
    if (captured == "\"\"" || captured == "''") return {};
    return TrimRight(captured);
}

}  // namespace

void IniReadLine(IniTable& table, std::string& section, std::string_view rawLine) {
    // The line is a C string: an embedded zero byte ends it.
    std::string_view line = rawLine.substr(0, rawLine.find('\0'));
    line = TrimLeft(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') return;

    if (const auto header = scanSectionHeader(line)) {
        section = FoldCase(*header);
        IniInsert(table, section, std::nullopt);
        return;
    }

    std::optional<KeyLine> key = scanKeyLine(line, '"');
    if (!key) key = scanKeyLine(line, '\'');
    if (!key) key = scanKeyLine(line, 0);
    if (!key) return;

    const std::string name = FoldCase(TrimRight(key->name));
    IniInsert(table, fmt::format("{}:{}", section, name), valueOf(key->value));
}

std::unique_ptr<IniTable> IniLoad(std::string_view path) {
    auto reader = ce::TextReader::open(path, ce::TextReader::Text);
    if (!reader) return nullptr;
    auto table = std::make_unique<IniTable>();
    std::string section;
    while (auto line = (*reader)->readLine(kIniLineBuffer)) IniReadLine(*table, section, *line);
    return table;
}

}  // namespace installer
