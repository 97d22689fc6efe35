#pragma once

#include <string>

// Editors that are ordinary programs rather than bundles and run the filter in a helper
// process of their own (a bridge). Such an editor has no Info.ini, so the identifier it is
// known by, in place of a bundle identifier, is fixed here, by the exact path of its installed
// program. Any thread; no file is read.

// GIMP 2.10 as Debian installs it (the console program shares the identifier: the same
// editor, without a window).
inline constexpr char kGimpIdentifier[] = "org.gimp.GIMP";

// The identifier of the editor whose program lies at `executable` (links already resolved, as
// /proc gives it), or "" when it is none of them.
std::string editorProgramIdentifier(const std::string& executable);
