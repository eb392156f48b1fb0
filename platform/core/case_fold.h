#pragma once
// Case-insensitive comparison of names as the head unit's file system does it: every letter
// with a simple lower-case form (ASCII, Latin, Greek, Cyrillic, full-width) compares equal to
// it. Used for path resolution, wildcard matching and the order of directory listings.

#include <string>
#include <string_view>

namespace ce {

// The code points of a UTF-8 name, each folded to lower case. A byte that is not part of
// valid UTF-8 becomes U+DC80..U+DCFF, so distinct byte strings stay distinct.
std::u32string foldCase(std::string_view utf8);

// foldCase(a) == foldCase(b), without building folded strings when both are ASCII (the usual
// case when a folder's entries are searched for one name).
bool equalNoCase(std::string_view a, std::string_view b);

// <0, 0, >0 like strcmp, on folded code points; equal folds fall back to the raw bytes so the
// order is total and stable.
int compareNoCase(std::string_view a, std::string_view b);

}  // namespace ce
