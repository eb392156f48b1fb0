#pragma once
// What the simulated MCU is and how it misbehaves: its flash geometry and signature, its
// timing, and the faults it injects on request. Read from headunit.json ("sim": {"mcu": {...}})
// and overridden by the options of `hu sim DIR mcu`.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace sim::mcu {

enum class StartContents { Programmed, Blank, Keep };

struct McuFaults {
    std::set<uint32_t> dropAck;        // write-pass blocks whose frame is lost once (no answer)
    std::set<uint32_t> dropVerifyAck;  // the same in the verify pass
    std::set<uint32_t> loseStatus;     // write-pass blocks programmed whose status is lost once
    std::set<uint32_t> loseVerifyStatus;  // verify-pass blocks compared whose status is lost once
    std::set<uint32_t> writeError;     // write-pass blocks answered ST1 ACK, ST2 write error
    std::map<uint8_t, int> nak;        // command -> how many times it is refused (-1: always)
    std::map<uint8_t, int> corruptChecksum;  // command -> how many of its status frames are corrupt
    uint32_t splitFrames = 0;          // send every frame in pieces of this many bytes (0: whole)
    uint32_t garbageBytes = 0;         // noise bytes sent before every frame
    bool notBlankForever = false;      // the blank check never passes
    bool eraseNoAck = false;           // the erase happens but is never acknowledged
};

struct McuOptions {
    int chip = 0;                      // layout of the signature, the blank check and the rates
    uint32_t lastAddress = 0xEFFF;     // flash size - 1
    uint32_t blockCount = 60;          // erase blocks (blank check per block on chip 1)
    uint8_t vendorCode = 0x10;
    std::string deviceName = "HUMCU-F60K";  // up to 10 ASCII characters
    StartContents start = StartContents::Programmed;
    uint32_t eraseMs = 300;            // chip erase
    uint32_t blockMs = 2;              // programming one 256-byte frame
    uint32_t internalVerifyMs = 20;    // internal verify after the last frame
    uint32_t blankCheckMs = 1;         // one blank check
    bool paced = false;                // send at the line rate
    bool skipEntryCheck = false;       // serve without the board's programming-mode sequence
    McuFaults faults;

    uint32_t flashSize() const { return lastAddress + 1; }
    uint32_t blockSize() const { return blockCount ? flashSize() / blockCount : flashSize(); }

    // Empty when the options are consistent, else one line saying what is wrong.
    std::string validate() const;
};

// Applies a headunit.json "sim"."mcu" object to options. Throws std::runtime_error naming a bad
// key or value.
void applyJson(McuOptions& options, const nlohmann::json& mcu);

// "3,7" -> {3, 7}: the blocks of a fault. Throws std::runtime_error naming what on a bad number.
std::set<uint32_t> blockList(const std::string& text, const std::string& what);

// "0x00" (always) or "0x00:3" (three times) into table, a fault's commands and counts. Throws
// std::runtime_error naming what on a bad value.
void addCommandCount(std::map<uint8_t, int>& table, const std::string& text, const std::string& what);

}  // namespace sim::mcu
