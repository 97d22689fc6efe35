// lumivo-gimp: the GIMP 2.10 bridge, a plug-in that hosts the filter bundle installed beside
// it, the way an editor with filter plug-in support does, under Filters with the bundle's
// registered title. GIMP runs it as a child process per run (gimp/bridge_entry.h).

#include <libgimp/gimp.h>

#include <optional>

#include "gimp/bridge_entry.h"
#include "gimp/gimp2/gimp2_bridge_host.h"
#include "gimp/pdb_status.h"

namespace {

void query() {
    // GIMP caches what is registered here until the bridge's program changes on disk.
    const std::optional<BridgeRegistration> registration = installedBridgeRegistration();
    if (!registration) {
        return;
    }
    static const GimpParamDef arguments[] = {
        {GIMP_PDB_INT32, const_cast<gchar*>("run-mode"),
         const_cast<gchar*>("The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1) }")},
        {GIMP_PDB_IMAGE, const_cast<gchar*>("image"), const_cast<gchar*>("Input image")},
        {GIMP_PDB_DRAWABLE, const_cast<gchar*>("drawable"), const_cast<gchar*>("Input drawable")},
    };
    // "*": the item is enabled for every image, so one of another mode is told why it can't be
    // filtered instead of finding the item greyed out.
    gimp_install_procedure(kBridgeProcedure, registration->blurb.c_str(),
                           registration->help.c_str(), "Lumivo", "Lumivo", "2024",
                           registration->title.c_str(), "*", GIMP_PLUGIN, G_N_ELEMENTS(arguments),
                           0, arguments, nullptr);
    gimp_plugin_menu_register(kBridgeProcedure, kBridgeMenuPath);
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
    Gimp2BridgeHost host(parameters[1].data.d_image, parameters[2].data.d_drawable);
    values[0].data.d_status = pdbStatusOf(runInstalledBridge(host));
}

}  // namespace

const GimpPlugInInfo PLUG_IN_INFO = {nullptr, nullptr, query, run};

int main(int argc, char** argv) {
    markBridgeStarted();
    return gimp_main(&PLUG_IN_INFO, argc, argv);
}
