#pragma once
// Settings and injected failures of the simulated drivers, and the request counts they key on.
//
// Each driver reads its section of headunit.json ("sim": {"board": {...}, "nand": {...}})
// afresh whenever the file changed, so a test can change the plan between two requests. A
// failure key takes true (every request of that kind fails), a request number N (the N-th
// request of that kind since the head unit was made fails; numbers start at 1) or a list of
// such numbers. The counts live in flash/requests.bin, a small table of named counters that
// every process of the head unit maps and increments atomically: counting a request costs no
// system call, so the drivers stay as fast as the host's own file writes.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "sim/board/sim_clock.h"  // the simulators' clock, used with the plans

namespace sim {

// The "sim" section of one simulator ("board", "nand"); an empty object when absent.
nlohmann::json simSettings(const std::filesystem::path& root, const std::string& simulator);

// Sets (or, with a null value, removes) one key of a simulator's section in headunit.json,
// atomically; the drivers see it at their next request. False when the file cannot be read
// or written.
bool setSimSetting(const std::filesystem::path& root, const std::string& simulator, const std::string& key,
                   const nlohmann::json& value);

// Parses a failure plan as people type it: "always", "off", or request numbers "3" / "2,5".
// Null when the text is none of these.
nlohmann::json parseFailurePlan(const std::string& text);

// True when the plan says request number `count` of this kind fails.
bool plannedFailure(const nlohmann::json& settings, const std::string& key, uint64_t count);

// Counts one more request of a kind ("nand.writePages") and returns its number (1 for the
// first). Counting works across processes.
uint64_t countRequest(const std::filesystem::path& root, const std::string& kind);

// The counts so far, {"nand.writePages": 12, ...}.
nlohmann::json requestCounts(const std::filesystem::path& root);

// A simulator's section of headunit.json, kept by a driver between requests and read again
// only when setSimSetting() changed a plan since (a shared generation number says so). The
// drivers read the file afresh at every open, so hand edits apply from the next open.
class CachedSimSettings {
public:
    CachedSimSettings(std::filesystem::path root, std::string simulator);
    ~CachedSimSettings();
    const nlohmann::json& get();

private:
    std::filesystem::path root_;
    std::string simulator_;
    uint64_t generation_;
    std::unique_ptr<nlohmann::json> settings_;  // behind a pointer: the header only declares the type
};

// An exclusive lock on a file under flash/ for the lifetime of the object: the simulated
// drivers of several processes take turns on the state they share.
class FlashLock {
public:
    FlashLock(const std::filesystem::path& root, const char* name);
    ~FlashLock();
    FlashLock(const FlashLock&) = delete;
    FlashLock& operator=(const FlashLock&) = delete;

private:
    int fd_ = -1;
};

// Replaces a file by writing a temporary one beside it and renaming it over the old one.
bool replaceFile(const std::filesystem::path& file, const std::string& bytes);

}  // namespace sim
