#include "installer/engine/copy_tree.h"

#include <fmt/printf.h>

#include "installer/engine/install_paths.h"
#include "installer/engine/percent.h"
#include "installer/engine/tree_walk.h"
#include "platform/core/debug.h"

namespace installer {
namespace {

constexpr int32_t kStepsBetweenPumps = 100;

void progressStep(InstallRun& run, int64_t delta) {
    ProcessState& state = run.process;
    run.m_dCopiedBytes += static_cast<double>(delta);
    const int32_t percent = BytePercent(run.m_dCopiedBytes, run.m_dSourceByteTotal);

    std::string text = fmt::sprintf("Copy : %s(%d%%)", run.m_strCurrentFileName, percent);
    if (text != state.lastCopyText) {
        run.view.SetStatusText(text);
        state.lastCopyText = std::move(text);
    }
    if (percent != state.lastCopyPercent) {
        run.view.SetProgressPos(percent);
        state.lastCopyPercent = percent;
    }
    if (state.progressCallCount % kStepsBetweenPumps == 0) {
        run.view.BringToFrontIfNotForeground();
        run.view.PumpMessages();
    }
    ++state.progressCallCount;
}

}  // namespace

ce::CopyProgressResult OnCopyProgress(InstallRun& run, const ce::CopyProgressInfo& info) {
    ProcessState& state = run.process;
    const auto transferred = static_cast<uint32_t>(info.streamBytesTransferred);
    if (transferred == 0) state.lastStreamBytes = 0;  // a new file begins
    const int64_t delta = static_cast<int64_t>(transferred) - static_cast<int64_t>(state.lastStreamBytes);
    if (delta > 0) {
        progressStep(run, delta);
        state.lastStreamBytes = transferred;
    }
    return ce::PROGRESS_CONTINUE;
}

namespace {

// Copies one file, from a held source folder into a held destination folder when there is one;
// a failure is reported on the debug output only.
void copyOneFile(InstallRun& run, const ce::Folder* from, const ce::Folder* to, const std::string& name,
                 std::string_view source, std::string_view destination) {
    if (!run.process.running) {
        ce::debugPrint("CopyFiles stopped because of system power off or suspend\r\n");
        return;
    }
    const auto progress = [&run](const ce::CopyProgressInfo& info) { return OnCopyProgress(run, info); };
    const ce::Error error = from && to ? from->copyFileTo(name, *to, name, progress, &run.process.copyCancel, 0)
                                       : ce::copyFileEx(source, destination, progress, &run.process.copyCancel, 0);
    if (error != ce::ERROR_SUCCESS) ce::debugPrint("CopyFiles Error : %d(%s)\r\n", error, std::string(source));
}

}  // namespace

void CopyOneFile(InstallRun& run, std::string_view source, std::string_view destination) {
    copyOneFile(run, nullptr, nullptr, {}, source, destination);
}

void CopyTree(InstallRun& run, std::string_view sourceView, std::string_view destinationView) {
    const std::string source(sourceView);
    const std::string destination(destinationView);
    ce::createDirectory(kPanelInstallFolder);
    ce::createDirectory(destination);

    // Both folders are resolved once and their files copied by name. A destination that cannot
    // be held (a link in its place, a missing parent) leaves each copy to fail as it always did.
    const auto from = ce::Folder::open(source);
    const auto entries = from ? ListFolder(*from, ce::FindDetail::NamesAndSizes) : std::nullopt;
    if (!entries) return;
    const auto to = ce::Folder::open(destination);
    for (const auto& entry : *entries) {
        if (!run.process.running) return;
        const std::string fromPath = JoinPath(source, entry.name);
        const std::string toPath = JoinPath(destination, entry.name);
        if (IsLink(entry)) {
            ce::debugPrint("CopyFiles skips the link %s\r\n", fromPath);
        } else if (IsFolder(entry)) {
            CopyTree(run, fromPath, toPath);
        } else {
            run.m_strCurrentFileName = entry.name;
            copyOneFile(run, &*from, to ? &*to : nullptr, entry.name, fromPath, toPath);
        }
    }
}

}  // namespace installer
