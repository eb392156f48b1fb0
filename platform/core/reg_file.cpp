#include "platform/core/reg_file.h"

#include <fmt/format.h>

#include <array>
#include <optional>

#include "platform/core/case_fold.h"
#include "platform/core/text.h"

namespace ce::reg {

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

struct Root {
    const char* longName;
    const char* shortName;
    Hive hive;
};
constexpr std::array<Root, 4> kRoots = {{
    {"HKEY_LOCAL_MACHINE", "HKLM", Hive::LocalMachine},
    {"HKEY_CURRENT_USER", "HKCU", Hive::CurrentUser},
    {"HKEY_CLASSES_ROOT", "HKCR", Hive::ClassesRoot},
    {"HKEY_USERS", "HKU", Hive::Users},
}};

bool equalsAscii(std::string_view a, std::string_view b) { return asciiUpper(a) == asciiUpper(b); }

std::string_view trimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::vector<uint8_t> utf16Bytes(std::u16string_view text, bool terminate) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() * 2 + 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    if (terminate) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

// ---- Reading --------------------------------------------------------------------------------

// The file's text as UTF-8, with the encoding it came in.
std::string decode(std::string_view bytes, Encoding& encoding, std::vector<std::string>& errors) {
    if (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFE) {
        encoding = Encoding::Utf16Le;
        bytes.remove_prefix(2);
        if (bytes.size() % 2) errors.push_back("the UTF-16 text ends in half a character");
        std::u16string text(bytes.size() / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char16_t>(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
        return toUtf8(text);
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        encoding = Encoding::Utf8WithBom;
        bytes.remove_prefix(3);
    } else {
        encoding = Encoding::Utf8;
    }
    return std::string(bytes);
}

// A quoted string starting at text[0] == '"'. Moves text past the closing quote.
std::optional<std::string> readQuoted(std::string_view& text) {
    std::string out;
    for (size_t i = 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            text.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) c = text[++i];
        out += c;
    }
    return std::nullopt;
}

std::optional<uint32_t> readHexNumber(std::string_view digits, size_t maxDigits) {
    if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
    uint32_t v = 0;
    for (char c : digits) {
        int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (d < 0) return std::nullopt;
        v = v << 4 | uint32_t(d);
    }
    return v;
}

// "01,02, ff" -> bytes; an empty list is an empty value.
std::optional<std::vector<uint8_t>> readByteList(std::string_view list) {
    std::vector<uint8_t> bytes;
    list = trimRight(trimLeft(list));
    if (list.empty()) return bytes;
    while (true) {
        size_t comma = list.find(',');
        auto number = readHexNumber(trimRight(trimLeft(list.substr(0, comma))), 2);
        if (!number) return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(*number));
        if (comma == std::string_view::npos) return bytes;
        list.remove_prefix(comma + 1);
    }
}

class Reader {
public:
    explicit Reader(std::string text) : text_(std::move(text)) {}

    ParseResult run(Encoding encoding, std::vector<std::string> errors) {
        result_.document.encoding = encoding;
        result_.errors = std::move(errors);
        std::string_view line;
        bool headerSeen = false;
        while (nextLine(line)) {
            line = trimRight(trimLeft(line));
            if (line.empty()) continue;
            if (!headerSeen) {
                if (line != kHeader5 && line != kHeader4) {
                    error("not a registry file: the first line must be \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");
                    return std::move(result_);
                }
                result_.document.header = std::string(line);
                headerSeen = true;
                continue;
            }
            if (line.front() == ';') continue;
            if (line.front() == '[') keyLine(line);
            else if (line.front() == '"' || line.front() == '@') valueLine(line);
            else error("neither a [key] nor a \"value\"");
        }
        // An empty file (or one of blank lines) is not a registry without values.
        if (!headerSeen && lineNumber_ == 0) lineNumber_ = 1;
        if (!headerSeen) error("the file is empty: it has no \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\" line");
        return std::move(result_);
    }

private:
    bool nextLine(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        size_t end = text_.find('\n', pos_);
        if (end == std::string::npos) end = text_.size();
        line = std::string_view(text_).substr(pos_, end - pos_);
        pos_ = end + 1;
        ++lineNumber_;
        return true;
    }

    void error(std::string_view what) { result_.errors.push_back(fmt::format("line {}: {}", lineNumber_, what)); }

    void keyLine(std::string_view line) {
        key_ = nullptr;
        size_t close = line.rfind(']');
        std::string_view rest = trimLeft(close == std::string_view::npos ? line : line.substr(close + 1));
        if (close == std::string_view::npos || !(rest.empty() || rest.front() == ';')) {
            error("a key line must end with ']'");
            return;
        }
        std::string_view inner = line.substr(1, close - 1);
        bool remove = !inner.empty() && inner.front() == '-';
        if (remove) inner.remove_prefix(1);
        std::string path = canonicalKeyPath(inner);
        if (path.empty()) {
            error("unknown root key (HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS)");
            return;
        }
        if (remove) result_.document.remove(path);
        else key_ = &result_.document.create(path);
    }

    void valueLine(std::string_view line) {
        std::string name;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else {
            auto quoted = readQuoted(line);
            if (!quoted) return error("the value name has no closing quote");
            name = *quoted;
        }
        line = trimLeft(line);
        if (line.empty() || line.front() != '=') return error("'=' expected after the value name");
        line = trimLeft(line.substr(1));
        if (key_ == nullptr) return error("a value outside a key");
        if (line == "-") return key_->erase(name);

        RegValue value;
        if (!line.empty() && line.front() == '"') {
            auto text = readQuoted(line);
            if (!text) return error("the string has no closing quote");
            if (!trimLeft(line).empty()) return error("text after the closing quote");
            value.type = REG_SZ;
            value.data = utf16Bytes(toUtf16(*text), true);
        } else if (line.starts_with("dword:")) {
            auto number = readHexNumber(line.substr(6), 8);
            if (!number) return error("dword: needs 1 to 8 hex digits");
            value.type = REG_DWORD;
            value.data = {uint8_t(*number), uint8_t(*number >> 8), uint8_t(*number >> 16), uint8_t(*number >> 24)};
        } else if (line.starts_with("hex")) {
            if (!hexValue(line, value)) return;
        } else {
            return error("unknown value type (\"text\", dword:, hex:, hex(N): or -)");
        }
        key_->set(name, std::move(value));
    }

    // hex:… or hex(N):…, joining continuation lines that end in a backslash.
    bool hexValue(std::string_view line, RegValue& value) {
        line.remove_prefix(3);
        value.type = REG_BINARY;
        if (!line.empty() && line.front() == '(') {
            size_t close = line.find(')');
            auto type = close == std::string_view::npos ? std::nullopt : readHexNumber(line.substr(1, close - 1), 8);
            if (!type) return error("hex(N): needs a hex type number"), false;
            value.type = *type;
            line.remove_prefix(close + 1);
        }
        if (line.empty() || line.front() != ':') return error("':' expected after hex"), false;
        std::string list(line.substr(1));
        std::string_view next;
        while (!trimRight(list).empty() && trimRight(list).back() == '\\') {
            list.resize(trimRight(list).size() - 1);
            if (!nextLine(next)) return error("the file ends inside a hex list continued with '\\'"), false;
            list += trimRight(trimLeft(next));
        }
        auto bytes = readByteList(list);
        if (!bytes) return error("a hex byte list is two-digit hex numbers separated by commas"), false;
        value.data = std::move(*bytes);
        return true;
    }

    std::string text_;
    size_t pos_ = 0;
    int lineNumber_ = 0;
    Key* key_ = nullptr;
    ParseResult result_;
};

// ---- Writing --------------------------------------------------------------------------------

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

// The text of a REG_SZ value when the quoted form carries it exactly, else nothing.
std::optional<std::string> quotableText(const RegValue& v) {
    if (v.type != REG_SZ || v.data.size() < 2 || v.data.size() % 2) return std::nullopt;
    std::u16string text;
    for (size_t i = 0; i + 1 < v.data.size(); i += 2) text += static_cast<char16_t>(v.data[i] | v.data[i + 1] << 8);
    if (text.back() != u'\0') return std::nullopt;
    text.pop_back();
    for (char16_t c : text)
        if (c < 0x20) return std::nullopt;  // NULs, line ends: not representable between quotes
    std::string utf8 = toUtf8(text);
    if (toUtf16(utf8) != text) return std::nullopt;  // lone surrogates
    return utf8;
}

std::string valueText(const NamedValue& v) {
    std::string out = v.name.empty() ? "@=" : quoted(v.name) + "=";
    if (auto text = quotableText(v.value)) return out + quoted(*text);
    const auto& d = v.value.data;
    if (v.value.type == REG_DWORD && d.size() == 4)
        return out + fmt::format("dword:{:08x}", uint32_t(d[0] | d[1] << 8 | d[2] << 16 | uint32_t(d[3]) << 24));
    out += v.value.type == REG_BINARY ? std::string("hex:") : fmt::format("hex({:x}):", v.value.type);
    size_t column = out.size();
    for (size_t i = 0; i < d.size(); ++i) {
        if (column > 76) {
            out += "\\\r\n  ";
            column = 2;
        }
        out += fmt::format("{:02x}", d[i]);
        column += 2;
        if (i + 1 < d.size()) {
            out += ',';
            ++column;
        }
    }
    return out;
}

}  // namespace

// ---- Keys and documents -----------------------------------------------------------------------

const NamedValue* Key::find(std::string_view name) const {
    std::u32string folded = foldCase(name);
    for (const auto& v : values)
        if (foldCase(v.name) == folded) return &v;
    return nullptr;
}

void Key::set(std::string_view name, RegValue value) {
    for (auto& v : values) {
        if (foldCase(v.name) == foldCase(name)) {
            v.value = std::move(value);
            return;
        }
    }
    values.push_back({std::string(name), std::move(value)});
}

void Key::erase(std::string_view name) {
    std::u32string folded = foldCase(name);
    std::erase_if(values, [&](const NamedValue& v) { return foldCase(v.name) == folded; });
}

const char* hiveName(Hive hive) {
    for (const auto& r : kRoots)
        if (r.hive == hive) return r.longName;
    return "";
}

std::string canonicalKeyPath(std::string_view path) {
    std::string out;
    size_t start = 0;
    bool first = true;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        std::string_view part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty()) continue;
        if (first) {
            for (const auto& r : kRoots)
                if (equalsAscii(part, r.longName) || equalsAscii(part, r.shortName)) out = r.longName;
            if (out.empty()) return out;
            first = false;
        } else {
            out += '\\';
            out += part;
        }
    }
    return out;
}

const Key* Document::find(std::string_view fullPath) const {
    auto it = keys_.find(foldCase(canonicalKeyPath(fullPath)));
    return it == keys_.end() ? nullptr : &it->second;
}

Key* Document::find(std::string_view fullPath) {
    auto it = keys_.find(foldCase(canonicalKeyPath(fullPath)));
    return it == keys_.end() ? nullptr : &it->second;
}

Key& Document::create(std::string_view fullPath) {
    std::string path = canonicalKeyPath(fullPath);
    Key* key = nullptr;
    size_t start = 0;
    while (true) {
        size_t end = path.find('\\', start);
        // A new key is named below its parent as the parent is spelled, so that one key never
        // appears under two spellings of the same path.
        std::string_view part = std::string_view(path).substr(start, end == std::string::npos ? end : end - start);
        std::string spelled = key ? key->path + '\\' + std::string(part) : std::string(part);
        auto [it, inserted] = keys_.try_emplace(foldCase(spelled));
        if (inserted) it->second.path = spelled;
        key = &it->second;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return *key;
}

void Document::remove(std::string_view fullPath) {
    std::u32string folded = foldCase(canonicalKeyPath(fullPath));
    std::u32string below = folded + U'\\';
    keys_.erase(folded);
    for (auto it = keys_.lower_bound(below); it != keys_.end() && it->first.starts_with(below);) it = keys_.erase(it);
}

// ---- Whole files --------------------------------------------------------------------------------

ParseResult parse(std::string_view fileBytes) {
    std::vector<std::string> errors;
    Encoding encoding;
    std::string text = decode(fileBytes, encoding, errors);
    return Reader(std::move(text)).run(encoding, std::move(errors));
}

std::string format(const Document& document) {
    std::string text = document.header + "\r\n";
    const auto& keys = document.keys();
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        const Key& key = it->second;
        auto next = std::next(it);
        bool hasChildren = next != keys.end() && next->first.starts_with(it->first + U'\\');
        // A key without values is written only when nothing below it implies it.
        if (key.values.empty() && hasChildren) continue;
        text += "\r\n[" + key.path + "]\r\n";
        for (const auto& v : key.values) text += valueText(v) + "\r\n";
    }
    if (document.encoding == Encoding::Utf8) return text;
    if (document.encoding == Encoding::Utf8WithBom) return "\xEF\xBB\xBF" + text;
    std::vector<uint8_t> bytes = utf16Bytes(toUtf16(text), false);
    return "\xFF\xFE" + std::string(bytes.begin(), bytes.end());
}

}  // namespace ce::reg
