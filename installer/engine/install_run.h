#pragma once
// The state one installation works on, and the screen it reports to.
//
// InstallRun holds what the installer dialog keeps for a run: the five pairs, the counters and
// totals of the scan, delete, copy and verification phases, the file being copied and the open
// log. RunInstall resets it at the start of every run. ProcessState holds what lives for the
// whole process instead: the memory of the copy and verification progress (so that an unchanged
// text is not redrawn) and the run flag, which a suspend notification clears to stop a run
// between two files. InstallView is the installer's screen as the engine sees it: the status
// line, the progress bar, bringing the dialog back to the front, and emptying the message queue.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "installer/ini/package_ini.h"
#include "platform/core/files.h"

namespace installer {

class InstallView {
public:
    virtual ~InstallView() = default;
    virtual void SetStatusText(const std::string& text) = 0;   // sets and draws at once
    virtual void SetProgressRange(int32_t maximum) = 0;         // 0 … maximum
    virtual void SetProgressPos(int32_t position) = 0;
    virtual void BringToFrontIfNotForeground() = 0;            // top of the window order at 0, 0, 800 × 480
    virtual void PumpMessages() = 0;                           // handles every waiting message
};

struct ProcessState {
    // Copy progress.
    uint32_t lastStreamBytes = 0;
    int32_t lastCopyPercent = 0;
    int32_t progressCallCount = 0;
    std::string lastCopyText = " ";
    bool copyCancel = false;  // handed to every copy; nothing sets it
    // Verification progress.
    int32_t lastVerifyPercent = -1;
    // Set at start and by a resume notification, cleared by a suspend notification.
    bool running = true;
};

struct InstallRun {
    InstallRun(InstallView& view, ProcessState& process) : view(view), process(process) {}

    // Clears the counters, totals and outcome for a new run (the pairs are reloaded by the run).
    void Reset();

    InstallView& view;
    ProcessState& process;

    InstallEntries m_Entries;
    std::string m_strInstallerFolder;  // device path ending in a backslash

    int32_t m_bSucceeded = 0;
    int32_t m_nDeletedCount = 0;
    int32_t m_nDestFileTotal = 0;
    int32_t m_nSourceFileTotal = 0;
    int32_t m_nVerifiedCount = 0;
    int32_t m_nCrcErrorCount = 0;
    double m_dCopiedBytes = 0;
    double m_dSourceByteTotal = 0;
    std::array<double, kInstallEntryCount> m_dSourceTreeBytes{};  // per pair, from the scan (-1: not listable)
    std::string m_strCurrentFileName;
    std::string m_strDestinationRoot;
    std::unique_ptr<ce::File> m_pLogFile;
};

}  // namespace installer
