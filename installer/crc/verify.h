#pragma once
// Verification of the installed files against the package's checksum lists.
//
// Each used pair has a list "<source folder>.crc" next to its source folder; every file it
// names is read back from the pair's destination and its CRC-32 compared with the expected
// value (read a second time before it counts as failed). Each failed file becomes one line of
// "\SDMMC Card\UpdateXan\ZEK_Update\CRCLOG.TXT" (UTF-16LE, CR LF, no byte-order mark) and of
// the debug output. A file that cannot be opened always fails: a missing file is never reported
// as verified, whatever value its list expects.

#include <cstdint>
#include <string_view>

#include "installer/engine/install_run.h"

namespace installer {

// Failed files of one list (0 when the list cannot be opened). Files are looked up under
// run.m_strDestinationRoot.
int32_t VerifyCrcList(InstallRun& run, std::string_view listPath);

// 1 when every pair passed, 0 when a listed file failed (run.m_nCrcErrorCount counts them) or
// when no pair is used (nothing was installed: a debug line says so, the count stays 0),
// -1 when the installer's folder holds no checksum list at all (the log is then not touched).
// A log that cannot be created is reported on the debug output and the verification goes on.
int32_t VerifyAll(InstallRun& run);

}  // namespace installer
