#pragma once

#include <optional>
#include <string>

#include "gimp/bridge_run.h"

// What every GIMP bridge does around one run, whichever GIMP it talks to: it hosts the filter
// bundle installed beside its own program, tells the filter which editor it runs for, runs it
// over the editor's layer and reports how that went. The bridge's program is a child process
// that GIMP starts per run. Main thread only.

// The procedure the bridges register, and where its menu item goes.
inline constexpr char kBridgeProcedure[] = "plug-in-lumivo";
inline constexpr char kBridgeMenuPath[] = "<Image>/Filters";

// What GIMP is told about the procedure.
struct BridgeRegistration {
    std::string title;  // the filter's registered title, which is the menu item's label
    std::string blurb;
    std::string help;
};

// The registration of the installed bundle's filter; none, with a line on standard error, when
// the bundle is missing or holds no filter. Never throws.
std::optional<BridgeRegistration> installedBridgeRegistration();

// Notes that the bridge's program has started, for a benchmark (see runInstalledBridge).
void markBridgeStarted();

// One run of the installed filter over `host`, for the GIMP that is this process's parent.
// Never throws: every failure reaches the user through host.tell. GIMP's terminal is the
// user's, so nothing is printed there, unless LUMIVO_BRIDGE_TRACE=1 is in the environment (set
// by the project's roads and benchmarks, never by a user's GIMP): then it prints "filter result
// N" on standard output when the filter was called (N its answer), as the demo editor does, and
// "timing bridge-STEP MS" lines
// (wall-clock milliseconds) for a benchmark: started (the program), run (GIMP called the
// procedure), loaded (the filter bundle), read (the area's pixels came from GIMP), write and
// written (around GIMP taking the result), returned; and the filter run's own steps between
// read and write (host/filter_driver.h: start, buffers, buffers-filled, start-returned...).
BridgeOutcome runInstalledBridge(BridgeHost& host);
