#pragma once

#include <string>
#include <vector>

#include "plugin/filter_record.h"

// One installed filter: a <name>.8bf bundle whose Contents/Linux/*.so exports PluginMain,
// listed under the title its Info.ini registers.
struct InstalledFilter {
    std::string title;
    std::string bundlePath;
    PluginMainProc entry = nullptr;
};

// Loads every filter bundle directly inside folder, sorted by title. Libraries stay loaded for
// the life of the process, as an editor keeps its plug-ins. Main thread only.
std::vector<InstalledFilter> loadFilters(const std::string& folder);

// The filters of one bundle, in the order of their libraries' names; empty when the bundle has
// no Info.ini or no library that exports PluginMain. Same terms as loadFilters.
std::vector<InstalledFilter> loadFilterBundle(const std::string& bundlePath);
