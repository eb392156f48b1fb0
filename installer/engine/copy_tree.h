#pragma once
// Copying the package's folders into the device, with progress.
//
// The copying itself is the platform's file copy; the engine only walks the tree and turns the
// copy's progress reports into the status line ("Copy : name(percent%)", cumulative over every
// pair against the scanned byte total) and the progress bar. The status line is redrawn only
// when its text changes and the bar only when the percentage changes; every hundredth progress
// step brings the dialog back to the front and empties the message queue, so the screen stays
// alive while a long copy runs on the one user-interface thread.

#include <string_view>

#include "installer/engine/install_run.h"

namespace installer {

// Creates "\NAND Flash\ZEK" and the destination folder (one level each; the destination's
// parent is not created) and copies the source tree into it, replacing existing files.
// While the run flag is clear the walk stops before its next entry.
void CopyTree(InstallRun& run, std::string_view source, std::string_view destination);

// Copies one file; a failure is reported on the debug output only.
void CopyOneFile(InstallRun& run, std::string_view source, std::string_view destination);

// The copy's progress routine: turns the bytes transferred of the current file into progress
// steps. Always lets the copy continue.
ce::CopyProgressResult OnCopyProgress(InstallRun& run, const ce::CopyProgressInfo& info);

}  // namespace installer
