#include "tools/hu/demo/time_accounting.h"

#include <algorithm>

#include <fmt/format.h>

namespace hu::demo {

namespace {

// The head unit's own waits, in milliseconds.
constexpr uint64_t kCloseAppsPause = 2000;     // after closing the applications, before the steps
constexpr uint64_t kSkippedOsPause = 2000;     // in an attempt without the OS step
constexpr uint64_t kEmergencyTimer = 500;      // emergency start
constexpr uint64_t kOsPageWaits = 100 + 1000 + 1000;  // page timer, after the bootloader, after the kernel
constexpr uint64_t kMcuPageWaits = 500 + 50 + 10 + 10 + 20 + 1000;  // page timer, supply, mode lines, result pause
constexpr uint64_t kMcuLinkStartWait = 200;    // the library after the programming-mode lines
constexpr uint64_t kMcuOscillatorWait = 1000;  // the library after setting the oscillator
constexpr uint64_t kBluetoothPageWaits = 1000 + 2000 + 3000;  // answer timer, line and start ticks, close timer
constexpr uint64_t kRestartPauses = 100 + 10;

constexpr int kMcuStatus = 1004;
constexpr int kBluetoothStatus = 1009;

uint64_t sum(const std::vector<TimePart>& parts) {
    uint64_t total = 0;
    for (const auto& p : parts) total += p.ms;
    return total;
}

std::string times(size_t n) { return n == 1 ? "" : fmt::format(" x{}", n); }

// The transfer of one MCU page: from "initialising" to its last status, without the
// library's own pauses; and those pauses.
void accountMcuVisit(const PageVisit& visit, uint64_t& transfer, uint64_t& libraryWaits) {
    auto it = visit.texts.find(kMcuStatus);
    if (it == visit.texts.end()) return;
    std::vector<TextChange> statuses;
    for (const auto& change : it->second)
        if (!change.text.empty()) statuses.push_back(change);
    if (statuses.empty()) return;
    libraryWaits = kMcuLinkStartWait + (statuses.size() > 2 ? kMcuOscillatorWait : 0);
    const uint64_t span = statuses.back().at - statuses.front().at;
    transfer = span > libraryWaits ? span - libraryWaits : 0;
}

}  // namespace

uint64_t TimeAccount::fixedMs() const { return sum(fixedWaits); }
uint64_t TimeAccount::transferMs() const { return sum(transfers); }
uint64_t TimeAccount::otherMs() const {
    const uint64_t accounted = fixedMs() + transferMs();
    return totalMs > accounted ? totalMs - accounted : 0;
}

TimeAccount accountTime(const DesktopRecord& run, uint64_t totalMs, bool emergency, bool restarted) {
    TimeAccount account;
    account.totalMs = totalMs;
    const auto os = run.visitsOf(PageKind::Os);
    const auto mcu = run.visitsOf(PageKind::Mcu);
    const auto bluetooth = run.visitsOf(PageKind::Bluetooth);
    const bool sequenceRan = !os.empty() || !mcu.empty() || !bluetooth.empty() || run.countLogged("[FAIL]") > 0;
    if (!sequenceRan) return account;

    if (emergency) account.fixedWaits.push_back({"emergency start timer", kEmergencyTimer});
    account.fixedWaits.push_back({"pause after closing the applications", kCloseAppsPause});
    const size_t attempts = std::max({os.size(), mcu.size(), bluetooth.size(),
                                      static_cast<size_t>(run.countLogged("[FAIL] MICOM")),
                                      static_cast<size_t>(run.countLogged("[FAIL] Bluetooth"))});
    if (attempts > os.size())
        account.fixedWaits.push_back({"pause of an attempt without the OS step" + times(attempts - os.size()),
                                      kSkippedOsPause * (attempts - os.size())});
    if (!os.empty()) account.fixedWaits.push_back({"OS page timer and phase pauses" + times(os.size()), kOsPageWaits * os.size()});

    if (!mcu.empty()) {
        uint64_t transfer = 0, libraryWaits = 0;
        for (const PageVisit* visit : mcu) {
            uint64_t t = 0, w = 0;
            accountMcuVisit(*visit, t, w);
            transfer += t;
            libraryWaits += w;
        }
        account.fixedWaits.push_back({"MCU page timer, line pauses, result pause" + times(mcu.size()), kMcuPageWaits * mcu.size()});
        account.fixedWaits.push_back({"MCU link pauses (start, oscillator)", libraryWaits});
        account.transfers.push_back({"MCU transfer" + times(mcu.size()), transfer});
    }

    if (!bluetooth.empty()) {
        uint64_t pageWaits = 0, transfer = 0;
        for (const PageVisit* visit : bluetooth) {
            const uint64_t end = visit->closedAt.value_or(visit->shownAt);
            const auto started = run.logged("TIMER_ID_START [ 1 ]", visit->shownAt);
            std::optional<uint64_t> stored;
            for (uint64_t at : run.bluetoothImages)
                if (started && at >= *started && at <= end && !stored) stored = at;
            if (started && stored) {
                transfer += *stored - *started;
                // Besides its fixed timers the page waits for the once-a-second tick that
                // notices the end: from the stored image to its last status (the result).
                uint64_t noticed = *stored;
                if (auto it = visit->texts.find(kBluetoothStatus); it != visit->texts.end() && !it->second.empty())
                    noticed = std::max(noticed, it->second.back().at);
                pageWaits += kBluetoothPageWaits + (noticed - *stored);
            } else {
                pageWaits += end - visit->shownAt;  // a failed page waits on its timers until it gives up
            }
        }
        account.fixedWaits.push_back({"Bluetooth page timers" + times(bluetooth.size()), pageWaits});
        account.transfers.push_back({"Bluetooth transfer" + times(bluetooth.size()), transfer});
    }
    if (restarted) account.fixedWaits.push_back({"restart pauses", kRestartPauses});
    return account;
}

}  // namespace hu::demo
