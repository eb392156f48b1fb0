#include "installer/engine/install_phases.h"

#include "installer/engine/copy_tree.h"
#include "installer/engine/delete_tree.h"
#include "installer/engine/install_paths.h"
#include "installer/engine/tree_walk.h"
#include "platform/core/debug.h"

namespace installer {

void ScanPhase(InstallRun& run) {
    for (int i = 0; i < kInstallEntryCount; ++i) {
        const InstallEntry& entry = run.m_Entries[static_cast<size_t>(i)];
        if (!entry.used) continue;
        const std::string source = SourceFolderOf(run.m_strInstallerFolder, entry);
        run.m_nDestFileTotal += CountFiles(DestinationFolderOf(entry));
        const TreeTotals sourceTotals = TreeTotalsOf(source, Links::Skipped);
        run.m_dSourceByteTotal += sourceTotals.bytes;
        run.m_nSourceFileTotal += sourceTotals.files;
        run.m_dSourceTreeBytes[static_cast<size_t>(i)] = sourceTotals.bytes;
    }
    run.view.SetProgressRange(run.m_nDestFileTotal);
    run.view.SetProgressPos(0);
}

void DeletePhase(InstallRun& run) {
    for (int i = 0; i < kInstallEntryCount; ++i) {
        const InstallEntry& entry = run.m_Entries[static_cast<size_t>(i)];
        if (!entry.used) continue;
        // A pair whose source could not be listed keeps its destination. The scan has just
        // walked the source: its byte sum says so without a second walk.
        if (run.m_dSourceTreeBytes[static_cast<size_t>(i)] < 0.0) continue;
        const std::string destination = DestinationFolderOf(entry);
        ce::debugPrint("%d, %s\r\n", i, destination);
        DeleteTree(run, destination);
    }
    run.view.SetProgressRange(100);
    run.view.SetProgressPos(0);
}

void CopyPhase(InstallRun& run) {
    for (const InstallEntry& entry : run.m_Entries) {
        if (!entry.used) continue;
        CopyTree(run, SourceFolderOf(run.m_strInstallerFolder, entry), DestinationFolderOf(entry));
    }
}

}  // namespace installer
