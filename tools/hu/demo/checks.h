#pragma once
// The demo's verdict: after the run, what the simulated hardware holds is compared with what
// the package held, and what the board and the shell windows saw with what the update must
// have done. Each check is a comparison of bytes or of recorded events, never of a program's
// own report; when one fails, its detail says where the difference lies and quotes what the
// updater said about it in its debug output.
//
// The expectations are written here from the head unit's own rules (where the NAND regions
// start, the order of the restart writes, the texts a page shows), independently of the code
// that carries the update out.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/board/gpio_log.h"
#include "sim/shell/shell_log.h"
#include "tools/hu/demo/desktop_record.h"

namespace hu::demo {

struct CheckResult {
    std::string name;    // what is compared, one short line
    bool passed = false;
    std::string detail;  // the evidence: sizes compared, or the first difference and why
};

// ---- Byte comparisons (image_checks.cpp) ----------------------------------------------------

// "equal (16384 bytes)", or where `actual` departs from `expected`: the first differing
// offset with both bytes, or the byte where `actual` ends early. Empty when equal.
std::string firstDifference(const std::vector<uint8_t>& expected, const std::vector<uint8_t>& actual);

// The package on the SD card and where its images must have gone.
CheckResult checkBootloader(const std::filesystem::path& root, const DesktopRecord& run);
CheckResult checkLogo(const std::filesystem::path& root, const DesktopRecord& run);    // hidden pages from 1
CheckResult checkKernel(const std::filesystem::path& root, const DesktopRecord& run);  // sectors from 8
// The MCU's flash from address 0 to its last address equals MICOM.BIN (zero where the file is
// shorter, as the MCU is programmed).
CheckResult checkMcuFlash(const std::filesystem::path& root, uint32_t lastAddress, const DesktopRecord& run);
// The module received BT.bin without its 16-byte DFU suffix; with `expectUpdate` false (the
// emergency run has no Bluetooth step), the module must have received nothing.
CheckResult checkBluetooth(const std::filesystem::path& root, bool expectUpdate, const DesktopRecord& run);

// ---- Events ----------------------------------------------------------------------------------

// The board's last writes (the emergency blink's lines left aside) are the restart sequence
// in order, with its two pauses, and none of them came before `notBefore` (the result on the
// screen, or the RESTART press). restart_check.cpp.
CheckResult checkRestartSequence(const std::vector<sim::GpioEvent>& events, uint64_t notBefore, const std::string& after);

// The shell windows got what an update start sends them: "ZOVEDIZUZ" one WM_CLOSE (posted) and
// then no longer on the desktop, "GUI_Main" one 0x059B (sent); "ORV_MAINMENU" and "ORV_SETUP"
// nothing (the head unit's model is not the one they are notified for). shell_check.cpp.
CheckResult checkShellMessages(const std::vector<sim::ShellMessage>& messages, bool zovedizuzStillOpen);

// The panel package: every file of the package's "ZEK" folder is in "\NAND Flash\ZEK" with the
// same bytes and nothing else is; CRCLOG.TXT exists and is empty; the installer showed its
// success text. panel_check.cpp.
CheckResult checkPanelInstall(const std::filesystem::path& root, const DesktopRecord& run);

// The main page showed the success text of its language (code page 949 Korean, 1251 Russian,
// else English). update_result_check.cpp.
CheckResult checkUpdateResult(uint32_t codePage, const DesktopRecord& run);

// Emergency mode empties the NAND root: the file planted there before the run is gone.
CheckResult checkNandRootCleared(const std::filesystem::path& plantedFile);

}  // namespace hu::demo
