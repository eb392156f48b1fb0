#include "installer/ini/ini_table.h"

#include <algorithm>

namespace installer {

IniTable::IniTable(int32_t requestedCapacity)
    : capacity(std::max(requestedCapacity, kMinimumCapacity)),
      values(static_cast<size_t>(capacity)),
      keys(static_cast<size_t>(capacity)),
      hashes(static_cast<size_t>(capacity), 0) {}

uint32_t IniHash(std::string_view key) {
    uint32_t h = 0;
    for (char c : key) {
        h += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(c)));
        h += h << 10;
        h ^= h >> 6;
    }
    h += h << 3;
    h ^= h >> 11;
    h += h << 15;
    return h;
}

namespace {

std::optional<std::string> copyOf(std::optional<std::string_view> value) {
    if (!value) return std::nullopt;
    return std::string(*value);
}

// Index of the first occupied slot holding key, or -1.
int32_t findSlot(const IniTable& table, std::string_view key, uint32_t hash) {
    for (int32_t i = 0; i < table.capacity; ++i) {
        const auto& slotKey = table.keys[static_cast<size_t>(i)];
        if (slotKey && table.hashes[static_cast<size_t>(i)] == hash && *slotKey == key) return i;
    }
    return -1;
}

void doubleCapacity(IniTable& table) {
    const auto doubled = static_cast<size_t>(table.capacity) * 2;
    table.values.resize(doubled);
    table.keys.resize(doubled);
    table.hashes.resize(doubled, 0);
    table.capacity = static_cast<int32_t>(doubled);
}

}  // namespace

void IniInsert(IniTable& table, std::string_view key, std::optional<std::string_view> value) {
    const uint32_t hash = IniHash(key);
    if (table.count > 0) {
        const int32_t existing = findSlot(table, key, hash);
        if (existing >= 0) {
            table.values[static_cast<size_t>(existing)] = copyOf(value);
            return;
        }
    }
    if (table.count == table.capacity) doubleCapacity(table);
    for (size_t i = 0; i < static_cast<size_t>(table.capacity); ++i) {
        if (table.keys[i]) continue;
        table.keys[i] = std::string(key);
        table.values[i] = copyOf(value);
        table.hashes[i] = hash;
        ++table.count;
        return;
    }
}

const char* IniLookup(const IniTable* table, const char* name, const char* defaultValue) {
    if (!table || !name) return defaultValue;
    const std::string folded = FoldCase(name);
    const int32_t slot = findSlot(*table, folded, IniHash(folded));
    if (slot < 0) return defaultValue;
    const auto& value = table->values[static_cast<size_t>(slot)];
    return value ? value->c_str() : nullptr;
}

std::string FoldCase(std::string_view text) {
    std::string folded(text.substr(0, kFoldBufferBytes));
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

std::string_view TrimLeft(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    return text.substr(i);
}

std::string TrimRight(std::string_view text) {
    size_t end = text.size();
    while (end > 0 && IsCSpace(text[end - 1])) --end;
    return std::string(text.substr(0, end));
}

}  // namespace installer
