#pragma once
// The names in the folders where resolution looked for case variants lately, so that files
// created one after another in a folder (a copy of a tree) do not each read its whole listing
// again. Internal to platform/core.
//
// A listing is kept for a few folders, keyed by the host's device and inode numbers, and trusted
// only while the folder's modification and change times are still those it had when it was
// read, or when this process last created an entry there and noted it. Any other change to the
// folder moves its times (the change time cannot be set back), so the next search reads the
// folder afresh. What the listing can miss is an entry someone else creates in the instant
// between a search and this process's own creation (a search without a cache has the same gap),
// or, on a file system whose times have a clock tick's grain, within the tick of this process's
// last change there; file systems with fine-grained times on demand (ext4, tmpfs, xfs, btrfs on
// current kernels) give such a change new times.

#include <optional>
#include <string>

namespace ce::detail {

// The first entry, in name order, of the open folder `dir` whose name equals `name` without
// regard to case.
std::optional<std::string> caseVariantIn(int dir, const std::string& name);

// Notes that this process has just created the entry `name` in the open folder `dir`.
void noteCreated(int dir, const std::string& name);

}  // namespace ce::detail
