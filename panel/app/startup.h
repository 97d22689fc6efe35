#pragma once

#include "panel/app/editor_follow.h"

// What tests of the real panel may change; the shipped panel runs with the defaults.
struct PanelSeams {
    double editorGoneCloseSeconds = kEditorGoneCloseSeconds;
};

// The panel's entry routine: from the command line to the running event loop. Main thread.
// Returns the exit status: 2 for a usage error, 1 without a usable start frame or without the
// page, 0 if the event loop ever returns (normally the process ends when its window closes).
int runPanel(int argc, char** argv, const PanelSeams& seams = {});
