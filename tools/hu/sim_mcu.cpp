// `hu sim DIR mcu [options]`: the MCU's boot firmware behind the head unit's COM5, until
// SIGINT/SIGTERM. Options come from headunit.json ("sim": {"mcu": {...}}), then the command line.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

#include "sim/mcu/mcu_simulator.h"
#include "tools/hu/sim_commands.h"

namespace hu {

namespace {

std::atomic<bool> g_stopMcu{false};

void stopMcu(int) { g_stopMcu = true; }

using sim::mcu::McuOptions;

// The command line's settings, applied over headunit.json's once the head unit is known.
struct McuCommandLine {
    std::vector<std::function<void(McuOptions&)>> settings;
    std::vector<std::string> nak, corruptChecksum;
};

// The library's "--nak: not a command code: 0x100" without the option, which the line names already.
std::string withoutOption(const std::exception& e, const std::string& option) {
    std::string what = e.what();
    if (what.rfind(option + ": ", 0) == 0) what.erase(0, option.size() + 2);
    return what;
}

void describeOptions(cli::Parser& verb, const std::shared_ptr<McuCommandLine>& c) {
    auto set = [c](std::function<void(McuOptions&)> f) { c->settings.push_back(std::move(f)); };
    auto number = [&](const char* name, long long lo, long long hi, const char* description, auto field) {
        verb.option(name, "N", description, cli::wholeNumber(lo, hi, [set, field](long long v) {
                        set([field, v](McuOptions& o) { field(o) = static_cast<std::decay_t<decltype(field(o))>>(v); });
                    }));
    };
    auto blocks = [&](const char* name, const char* description, std::set<uint32_t> sim::mcu::McuFaults::*field) {
        verb.option(name, "B,B...", description, [set, field, name](std::string& v) -> std::string {
            try {
                const auto list = sim::mcu::blockList(v, name);
                set([field, list](McuOptions& o) { o.faults.*field = list; });
                return {};
            } catch (const std::exception& e) {
                return withoutOption(e, name);
            }
        });
    };
    auto commands = [&](const char* name, const char* description, std::vector<std::string>& values,
                        std::map<uint8_t, int> sim::mcu::McuFaults::*field) {
        verb.texts(name, "0xCC[:N]", values, description, false, [set, field, name](std::string& v) -> std::string {
            try {
                std::map<uint8_t, int> table;
                sim::mcu::addCommandCount(table, v, name);
                set([field, table](McuOptions& o) { (o.faults.*field).insert(table.begin(), table.end()); });
                return {};
            } catch (const std::exception& e) {
                return withoutOption(e, name);
            }
        });
    };
    auto flag = [&](const char* name, const char* description, std::function<void(McuOptions&)> f) {
        verb.flag(name, description, [set, f] { set(f); });
    };
    number("--chip", 0, 1, "chip variant: layout of the signature, the blank check and the line rates (0)",
           [](McuOptions& o) -> int& { return o.chip; });
    number("--last-address", 0xFF, 0x1FFFFF, "the flash's last address, ending a 256-byte unit (0xEFFF)",
           [](McuOptions& o) -> uint32_t& { return o.lastAddress; });
    number("--blocks", 1, 127, "erase blocks, each a whole number of 256-byte units (60)",
           [](McuOptions& o) -> uint32_t& { return o.blockCount; });
    number("--vendor", 0, 0x7F, "the vendor code in the signature (0x10)", [](McuOptions& o) -> uint8_t& { return o.vendorCode; });
    verb.option("--name", "NAME", "the device name in the signature, at most 10 ASCII characters (HUMCU-F60K)",
                [set](std::string& v) {
                    set([v](McuOptions& o) { o.deviceName = v; });
                    return std::string();
                });
    verb.option("--start", "WHAT", "the flash at start: programmed (old firmware), blank, or keep (as the last run left it)",
                [set](std::string& v) -> std::string {
                    using sim::mcu::StartContents;
                    const auto start = v == "programmed" ? StartContents::Programmed
                                       : v == "blank"    ? StartContents::Blank
                                       : v == "keep"     ? StartContents::Keep
                                                         : std::optional<StartContents>();
                    if (!start) return "'" + v + "' is not one of programmed, blank, keep";
                    set([start](McuOptions& o) { o.start = *start; });
                    return {};
                });
    flag("--blank", "start with a blank flash (--start blank)", [](McuOptions& o) { o.start = sim::mcu::StartContents::Blank; });
    constexpr long long kHour = 3600 * 1000;
    number("--erase-ms", 0, kHour, "milliseconds the chip erase takes (300)", [](McuOptions& o) -> uint32_t& { return o.eraseMs; });
    number("--block-ms", 0, kHour, "milliseconds programming one 256-byte frame takes (2)",
           [](McuOptions& o) -> uint32_t& { return o.blockMs; });
    number("--internal-verify-ms", 0, kHour, "milliseconds the internal verify after the last frame takes (20)",
           [](McuOptions& o) -> uint32_t& { return o.internalVerifyMs; });
    number("--blank-check-ms", 0, kHour, "milliseconds one blank check takes (1)",
           [](McuOptions& o) -> uint32_t& { return o.blankCheckMs; });
    flag("--paced", "send at the line rate", [](McuOptions& o) { o.paced = true; });
    flag("--skip-entry-check", "serve without the board's programming-mode sequence", [](McuOptions& o) { o.skipEntryCheck = true; });
    blocks("--drop-ack", "fault: these write-pass blocks' frames are lost once (no answer)", &sim::mcu::McuFaults::dropAck);
    blocks("--drop-verify-ack", "fault: the same in the verify pass", &sim::mcu::McuFaults::dropVerifyAck);
    blocks("--lose-status", "fault: these write-pass blocks are programmed but their status is lost once",
           &sim::mcu::McuFaults::loseStatus);
    blocks("--lose-verify-status", "fault: these verify-pass blocks are compared but their status is lost once",
           &sim::mcu::McuFaults::loseVerifyStatus);
    blocks("--write-error", "fault: these write-pass blocks are answered with a write error", &sim::mcu::McuFaults::writeError);
    commands("--nak", "fault: the command is refused, always or N times", c->nak, &sim::mcu::McuFaults::nak);
    commands("--corrupt-checksum", "fault: the command's status frames have a wrong checksum, always or N times",
             c->corruptChecksum, &sim::mcu::McuFaults::corruptChecksum);
    number("--split", 0, 65536, "fault: send every frame in pieces of N bytes (0: whole)",
           [](McuOptions& o) -> uint32_t& { return o.faults.splitFrames; });
    number("--garbage", 0, 65536, "fault: N noise bytes before every frame", [](McuOptions& o) -> uint32_t& { return o.faults.garbageBytes; });
    flag("--not-blank-forever", "fault: the blank check never passes", [](McuOptions& o) { o.faults.notBlankForever = true; });
    flag("--erase-no-ack", "fault: the erase happens but is never acknowledged", [](McuOptions& o) { o.faults.eraseNoAck = true; });
}

}  // namespace

SimulatorRun describeMcu(cli::Parser& verb) {
    auto commandLine = std::make_shared<McuCommandLine>();
    describeOptions(verb, commandLine);
    return [commandLine](const std::string& headUnitDir) {
        try {
            std::filesystem::path root = std::filesystem::absolute(headUnitDir);
            auto mcuOptions = sim::mcu::McuSimulator::optionsFor(root);
            for (const auto& setting : commandLine->settings) setting(mcuOptions);
            std::signal(SIGINT, stopMcu);
            std::signal(SIGTERM, stopMcu);
            sim::mcu::McuSimulator mcu(root, mcuOptions);
            std::printf("mcu: chip %d, flash 0..%05X in %u blocks, on %s; flash in %s, log in %s\n", mcuOptions.chip,
                        mcuOptions.lastAddress, mcuOptions.blockCount, mcu.ttyPath().c_str(),
                        sim::mcu::McuSimulator::flashFile(root).c_str(), sim::mcu::McuSimulator::logFile(root).c_str());
            std::fflush(stdout);
            while (!g_stopMcu) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "hu sim: %s\n", e.what());
            return 1;
        }
    };
}

}  // namespace hu
