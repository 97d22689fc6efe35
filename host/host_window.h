#pragma once

#include <vector>

#include "host/document.h"
#include "host/filter_catalog.h"
#include "host/host_options.h"

// The editor's window: the document's image under a menu bar whose "Filters" menu lists each
// installed filter by title. Choosing one runs it over the document, prints "filter result
// <code>" and, when asked to, saves the document after a run that changed it. Runs the GTK
// main loop until the window closes; returns the exit status. Main thread only.
int runHostWindow(const HostOptions& options, Document document,
                  const std::vector<InstalledFilter>& filters);
