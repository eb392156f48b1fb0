#pragma once
// The three phases of an installation before its verification, over the used pairs in order:
//   scan    counts the destination files and the source files and bytes (the divisors of the
//           delete, copy and verification percentages);
//   delete  removes each destination tree whose source folder could be listed in the scan (a
//           pair whose source is missing keeps its old destination untouched); it runs after
//           the scan of the same run;
//   copy    copies each source tree into its destination.

#include "installer/engine/install_run.h"

namespace installer {

void ScanPhase(InstallRun& run);
void DeletePhase(InstallRun& run);
void CopyPhase(InstallRun& run);

}  // namespace installer
