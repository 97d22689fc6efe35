#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "host/filter_driver.h"

// The demo editor's command line.
struct HostOptions {
    bool headless = false;
    std::string pluginFolder;         // "" : the folder that holds the editor's own bundle
    std::string filterTitle;          // headless: the filter to run
    std::vector<std::string> inputs;  // the images to open, the first in front; headless: one
    std::string output;               // headless: where the result is written
    // window: where each document is written after every change (a filter run that changed it,
    // an undo): see changedDocumentPath.
    std::string saveOnChange;
    std::optional<Selection> selection;
    bool transparency = false;
    bool timings = false;  // window: print each run's step times and peak memory (RunTimings)
};

inline constexpr char kHostUsage[] =
    "usage: lumivo-host [--plugins DIR] [--in IMAGE]... [--save-on-change OUT.png]\n"
    "                   [--selection x,y,w,h] [--transparency] [--timings]\n"
    "       lumivo-host --headless [--plugins DIR] --filter TITLE --in IMAGE --out OUT.png\n"
    "                   [--selection x,y,w,h] [--transparency]\n";

// None on a malformed command line.
std::optional<HostOptions> parseHostOptions(int argc, char** argv);

// Where the document at `index` (0 for the first --in) is written after a change: OUT.png for
// the first, OUT-2.png for the second, and so on.
std::string changedDocumentPath(const std::string& saveOnChange, size_t index);
