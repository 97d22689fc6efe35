#pragma once

#include <optional>
#include <string>

#include "host/filter_driver.h"

// The demo editor's command line.
struct HostOptions {
    bool headless = false;
    std::string pluginFolder;  // "" : the folder that holds the editor's own bundle
    std::string filterTitle;   // headless: the filter to run
    std::string input;         // the image to open
    std::string output;        // headless: where the result is written
    std::string saveOnChange;  // window: written after every run that changed the document
    std::optional<Selection> selection;
    bool transparency = false;
    bool timings = false;  // window: print each run's step times and peak memory (RunTimings)
};

inline constexpr char kHostUsage[] =
    "usage: lumivo-host [--plugins DIR] [--in IMAGE] [--save-on-change OUT.png]\n"
    "                   [--selection x,y,w,h] [--transparency] [--timings]\n"
    "       lumivo-host --headless [--plugins DIR] --filter TITLE --in IMAGE --out OUT.png\n"
    "                   [--selection x,y,w,h] [--transparency]\n";

// None on a malformed command line.
std::optional<HostOptions> parseHostOptions(int argc, char** argv);
