#pragma once

#include <string>
#include <vector>

#include "host/document.h"
#include "host/filter_catalog.h"
#include "host/host_options.h"

// A document as the editor opened it: the image file it came from ("" for a blank one) and
// its pixels.
struct OpenDocument {
    std::string path;
    Document document;
};

// The editor's window: one tab per document, the first in front, under a menu bar as editors
// have it. File > Quit ends the editor. Edit > Undo <step> puts back what the document in front
// held before its last change (a few steps are kept). Filters lists each installed filter by
// title; choosing one runs it over the document in front and prints "filter result <code>".
// Windows lists the documents by file name and brings the chosen one to the front. When asked
// to, a document is saved after every change (changedDocumentPath). Runs the GTK main loop
// until the window closes; returns the exit status. Main thread only.
int runHostWindow(const HostOptions& options, std::vector<OpenDocument> documents,
                  const std::vector<InstalledFilter>& filters);
