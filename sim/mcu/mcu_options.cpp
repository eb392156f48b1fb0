#include "sim/mcu/mcu_options.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace sim::mcu {

namespace {

[[noreturn]] void bad(const std::string& what) { throw std::runtime_error(what); }

// "0xEFFF", "61439", "0x10".
uint32_t parseNumber(const std::string& text, const std::string& what) {
    try {
        size_t used = 0;
        unsigned long value = std::stoul(text, &used, 0);
        if (used != text.size() || value > 0xFFFFFFFFul) bad(what + ": not a number: " + text);
        return static_cast<uint32_t>(value);
    } catch (const std::logic_error&) {
        bad(what + ": not a number: " + text);
    }
}

uint32_t numberOf(const nlohmann::json& v, const std::string& what) {
    if (v.is_number_unsigned()) return v.get<uint32_t>();
    if (v.is_string()) return parseNumber(v.get<std::string>(), what);
    bad(what + ": expected a number");
}

}  // namespace

std::set<uint32_t> blockList(const std::string& text, const std::string& what) {
    std::set<uint32_t> blocks;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t comma = text.find(',', pos);
        std::string item = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (!item.empty()) blocks.insert(parseNumber(item, what));
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    return blocks;
}

namespace {

std::set<uint32_t> blockSet(const nlohmann::json& v, const std::string& what) {
    if (v.is_string()) return blockList(v.get<std::string>(), what);
    if (!v.is_array()) bad(what + ": expected a list of block numbers");
    std::set<uint32_t> blocks;
    for (const auto& item : v) blocks.insert(numberOf(item, what));
    return blocks;
}

}  // namespace

void addCommandCount(std::map<uint8_t, int>& table, const std::string& text, const std::string& what) {
    size_t colon = text.find(':');
    uint32_t command = parseNumber(text.substr(0, colon), what);
    if (command > 0xFF) bad(what + ": not a command code: " + text);
    int count = colon == std::string::npos ? -1 : static_cast<int>(parseNumber(text.substr(colon + 1), what));
    table[static_cast<uint8_t>(command)] = count;
}

namespace {

void commandCounts(std::map<uint8_t, int>& table, const nlohmann::json& v, const std::string& what) {
    if (v.is_string()) return addCommandCount(table, v.get<std::string>(), what);
    if (v.is_array()) {
        for (const auto& item : v) commandCounts(table, item, what);
        return;
    }
    if (v.is_object()) {
        for (const auto& [command, count] : v.items()) {
            uint32_t code = parseNumber(command, what);
            if (code > 0xFF) bad(what + ": not a command code: " + command);
            table[static_cast<uint8_t>(code)] = count.is_number_integer() ? count.get<int>() : -1;
        }
        return;
    }
    bad(what + ": expected \"0xCC[:N]\", a list of them or {\"0xCC\": N}");
}

StartContents startOf(const std::string& text) {
    if (text == "programmed") return StartContents::Programmed;
    if (text == "blank") return StartContents::Blank;
    if (text == "keep") return StartContents::Keep;
    bad("start: expected programmed, blank or keep, not " + text);
}

}  // namespace

std::string McuOptions::validate() const {
    if (chip != 0 && chip != 1) return "chip must be 0 or 1";
    if (lastAddress < 0xFF || lastAddress >= (1u << 21) || (lastAddress + 1) % 256 != 0)
        return "last address must end a 256-byte unit below 2 MiB (e.g. 0xEFFF)";
    if (blockCount == 0 || blockCount > 127 || flashSize() % blockCount != 0 || blockSize() % 256 != 0)
        return "block count must divide the flash into whole 256-byte units (1..127 blocks)";
    if (vendorCode > 0x7F) return "vendor code is a 7-bit value";
    if (deviceName.size() > 10) return "device name has at most 10 characters";
    for (char c : deviceName)
        if (static_cast<unsigned char>(c) > 0x7F) return "device name must be ASCII";
    return {};
}

void applyJson(McuOptions& o, const nlohmann::json& mcu) {
    if (mcu.is_null()) return;
    if (!mcu.is_object()) bad("sim.mcu: expected an object");
    for (const auto& [key, v] : mcu.items()) {
        if (key == "chip") o.chip = static_cast<int>(numberOf(v, key));
        else if (key == "lastAddress") o.lastAddress = numberOf(v, key);
        else if (key == "blockCount") o.blockCount = numberOf(v, key);
        else if (key == "vendorCode") o.vendorCode = static_cast<uint8_t>(numberOf(v, key));
        else if (key == "deviceName") o.deviceName = v.get<std::string>();
        else if (key == "start") o.start = startOf(v.get<std::string>());
        else if (key == "eraseMs") o.eraseMs = numberOf(v, key);
        else if (key == "blockMs") o.blockMs = numberOf(v, key);
        else if (key == "internalVerifyMs") o.internalVerifyMs = numberOf(v, key);
        else if (key == "blankCheckMs") o.blankCheckMs = numberOf(v, key);
        else if (key == "paced") o.paced = v.get<bool>();
        else if (key == "skipEntryCheck") o.skipEntryCheck = v.get<bool>();
        else if (key == "dropAck") o.faults.dropAck = blockSet(v, key);
        else if (key == "dropVerifyAck") o.faults.dropVerifyAck = blockSet(v, key);
        else if (key == "loseStatus") o.faults.loseStatus = blockSet(v, key);
        else if (key == "loseVerifyStatus") o.faults.loseVerifyStatus = blockSet(v, key);
        else if (key == "writeError") o.faults.writeError = blockSet(v, key);
        else if (key == "nak") commandCounts(o.faults.nak, v, key);
        else if (key == "corruptChecksum") commandCounts(o.faults.corruptChecksum, v, key);
        else if (key == "splitFrames") o.faults.splitFrames = numberOf(v, key);
        else if (key == "garbageBytes") o.faults.garbageBytes = numberOf(v, key);
        else if (key == "notBlankForever") o.faults.notBlankForever = v.get<bool>();
        else if (key == "eraseNoAck") o.faults.eraseNoAck = v.get<bool>();
        else bad("sim.mcu: unknown key \"" + key + "\"");
    }
}

}  // namespace sim::mcu
