#pragma once
// The .reg text format of registry.reg: reading it into keys and values, and writing them back.
//
// Reading accepts what people and the registry editor write: a "Windows Registry Editor
// Version 5.00" or "REGEDIT4" header; [key] sections under HKEY_LOCAL_MACHINE,
// HKEY_CURRENT_USER, HKEY_CLASSES_ROOT or HKEY_USERS (or their short forms HKLM, HKCU, HKCR,
// HKU); "name"="text" with \\ and \" escapes, @ for the default value; dword:XXXXXXXX;
// hex:…, hex(2):…, hex(7):… and hex(N):… byte lists with "\" line continuations; "name"=-
// and [-key] deletions; ';' comments; UTF-8 (with or without BOM) or UTF-16LE with BOM.
// A line that cannot be read is reported with its number and skipped; the rest still counts.
// A file without the header line (an empty one included) is reported too.
//
// Writing produces the same header, encoding and line ends (CRLF) the file was read with. It
// is canonical rather than faithful: keys come in name order and comments are not kept. Every
// value survives a write and a read exactly, byte for byte (text that the quoted form cannot
// carry is written as a hex(1) list).

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/registry.h"

namespace ce::reg {

struct NamedValue {
    std::string name;  // "" for the default value (@)
    RegValue value;
    bool operator==(const NamedValue& o) const {
        return name == o.name && value.type == o.value.type && value.data == o.value.data;
    }
};

struct Key {
    std::string path;  // full path as first written: "HKEY_LOCAL_MACHINE\SOFTWARE\ORV"
    std::vector<NamedValue> values;  // in the order they were set
    bool operator==(const Key& o) const { return path == o.path && values == o.values; }

    const NamedValue* find(std::string_view name) const;
    void set(std::string_view name, RegValue value);
    void erase(std::string_view name);
};

enum class Encoding { Utf8, Utf8WithBom, Utf16Le };

class Document {
public:
    // Full key paths start with the root's long name ("HKEY_CURRENT_USER\Software\...").
    // Lookups ignore case; a path names the same key however its parts are cased.
    const Key* find(std::string_view fullPath) const;
    Key* find(std::string_view fullPath);
    // Creates the key and every missing key above it; returns the key.
    Key& create(std::string_view fullPath);
    // Removes the key and everything below it.
    void remove(std::string_view fullPath);

    const std::map<std::u32string, Key>& keys() const { return keys_; }
    bool operator==(const Document& o) const { return keys_ == o.keys_; }

    std::string header = "Windows Registry Editor Version 5.00";
    Encoding encoding = Encoding::Utf8;

private:
    std::map<std::u32string, Key> keys_;  // by folded path, so a parent sorts before its children
};

// The canonical form of a key path: the root's long name, then the parts without empty ones
// ("hklm\\SOFTWARE\\\ORV\\" -> "HKEY_LOCAL_MACHINE\SOFTWARE\ORV"). Empty when the root is unknown.
std::string canonicalKeyPath(std::string_view path);
const char* hiveName(Hive hive);

struct ParseResult {
    Document document;
    std::vector<std::string> errors;  // "line 12: ..."; empty when the whole file was read
};

ParseResult parse(std::string_view fileBytes);
std::string format(const Document& document);  // the file's bytes

}  // namespace ce::reg
