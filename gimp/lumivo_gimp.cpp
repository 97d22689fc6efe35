// lumivo-gimp: a GIMP 2.10 plug-in that hosts the filter bundle installed beside it, the way
// an editor with filter plug-in support does, under Filters with the bundle's registered title.
// GIMP runs it as a child process per run; the filter learns GIMP's process id from it
// (plugin/host_identity.h), so the panel presses GIMP's own menu.

#include <libgimp/gimp.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "gimp/bridge_run.h"
#include "gimp/gimp_bridge_host.h"
#include "host/filter_catalog.h"
#include "platform/bundle.h"
#include "plugin/host_identity.h"
#include "plugin/spool.h"

namespace {

constexpr char kProcedure[] = "plug-in-lumivo";
constexpr char kBundleName[] = "LumivoFilter.8bf";

// The bundle installed in the bridge's own folder.
std::string bundlePath() {
    const std::string program = resolvedPath("/proc/self/exe");
    const size_t slash = program.rfind('/');
    return (slash == std::string::npos ? std::string(".") : program.substr(0, slash)) + "/" +
           kBundleName;
}

void query() {
    // GIMP caches what is registered here until the bridge's program changes on disk.
    std::vector<InstalledFilter> filters = loadFilterBundle(bundlePath());
    if (filters.empty()) {
        fprintf(stderr, "lumivo-gimp: no filter in %s\n", bundlePath().c_str());
        return;
    }
    static const GimpParamDef arguments[] = {
        {GIMP_PDB_INT32, const_cast<gchar*>("run-mode"),
         const_cast<gchar*>("The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1) }")},
        {GIMP_PDB_IMAGE, const_cast<gchar*>("image"), const_cast<gchar*>("Input image")},
        {GIMP_PDB_DRAWABLE, const_cast<gchar*>("drawable"), const_cast<gchar*>("Input drawable")},
    };
    const std::string& title = filters.front().title;
    const std::string blurb = "Edit the layer (or the selection) in the " + title + " panel";
    // "*": the item is enabled for every image, so one of another mode is told why it can't be
    // filtered instead of finding the item greyed out.
    gimp_install_procedure(kProcedure, blurb.c_str(),
                           "The first run hands the pixels to the panel; when the panel has "
                           "a result it runs the filter again, which writes the result into "
                           "the layer as one undo step.",
                           "Lumivo", "Lumivo", "2024", title.c_str(), "*", GIMP_PLUGIN,
                           G_N_ELEMENTS(arguments), 0, arguments, nullptr);
    gimp_plugin_menu_register(kProcedure, "<Image>/Filters");
}

GimpPDBStatusType statusOf(BridgeOutcome outcome) {
    switch (outcome) {
        case BridgeOutcome::kApplied:
            return GIMP_PDB_SUCCESS;
        case BridgeOutcome::kHandedOff:
            return GIMP_PDB_CANCEL;
        case BridgeOutcome::kRefused:
        case BridgeOutcome::kFailed:
            break;
    }
    return GIMP_PDB_EXECUTION_ERROR;
}

GimpPDBStatusType runFilterBridge(gint32 image, gint32 drawable) {
    std::vector<InstalledFilter> filters = loadFilterBundle(bundlePath());
    if (filters.empty()) {
        gimp_message("Lumivo is not installed completely: its filter bundle is missing.");
        return GIMP_PDB_EXECUTION_ERROR;
    }
    // The filter believes this only after checking that GIMP is this process's parent.
    const std::string editor = std::to_string(::getppid());
    ::setenv(kEditorPidVariable, editor.c_str(), 1);
    const std::string spoolDirectory = spool::directoryFor(currentHostIdentity().identifier);

    GimpBridgeHost host(image, drawable);
    // GIMP's terminal is the user's: the outcome is told only through GIMP's own messages.
    const BridgeResult result = runBridge(host, filters.front().entry, filters.front().title,
                                          spoolDirectory, spool::nowSeconds());
    return statusOf(result.outcome);
}

void run(const gchar* /*name*/, gint count, const GimpParam* parameters, gint* returnCount,
         GimpParam** returnValues) {
    static GimpParam values[1];
    values[0].type = GIMP_PDB_STATUS;
    values[0].data.d_status = GIMP_PDB_CALLING_ERROR;
    *returnCount = 1;
    *returnValues = values;
    if (count < 3) {
        return;
    }
    // Nothing thrown may reach GIMP's side of the plug-in protocol.
    try {
        values[0].data.d_status =
            runFilterBridge(parameters[1].data.d_image, parameters[2].data.d_drawable);
    } catch (...) {
        gimp_message("Lumivo failed: it ran out of memory or resources.");
        values[0].data.d_status = GIMP_PDB_EXECUTION_ERROR;
    }
}

}  // namespace

const GimpPlugInInfo PLUG_IN_INFO = {nullptr, nullptr, query, run};

MAIN()
