#pragma once
// CInstallerApp: the installer program. It shows the installer page modally and ends the
// program when the page closes; no message loop of its own follows. One installer runs at a
// time on a head unit: a second start ends quietly. The process-wide progress
// memory and run flag live here, as long as the program.

#include "installer/engine/install_run.h"

namespace installer {

class CInstallerApp {
public:
    // Runs the page to its end; the program's exit code (always 0: the outcome is the screen,
    // the installed files and the log).
    int Run();

private:
    ProcessState m_Process;
};

}  // namespace installer
