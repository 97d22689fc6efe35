#pragma once

#include <string>

// Editors that are ordinary programs rather than bundles and run the filter in a helper
// process of their own (a bridge). Such an editor has no Info.ini, so the identifier it is
// known by, in place of a bundle identifier, is fixed here, by the exact path of its installed
// program. Any thread; no file is read.

// GIMP 2.10 and GIMP 3 as Debian installs them (each console program shares its GIMP's
// identifier: the same editor, without a window). The two keep their spool directories apart,
// as they keep their settings: a result made for one is never found by the other.
inline constexpr char kGimpIdentifier[] = "org.gimp.GIMP";
inline constexpr char kGimp3Identifier[] = "org.gimp.GIMP3";

// The identifier of the editor whose program lies at `executable` (links already resolved, as
// /proc gives it), or "" when it is none of them.
std::string editorProgramIdentifier(const std::string& executable);
