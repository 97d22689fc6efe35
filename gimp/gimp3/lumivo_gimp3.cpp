// lumivo-gimp3: the GIMP 3 bridge, a plug-in that hosts the filter bundle installed beside it,
// the way an editor with filter plug-in support does, under Filters with the bundle's
// registered title. GIMP runs it as a child process per run (gimp/bridge_entry.h).

#include <libgimp/gimp.h>
#include <string.h>

#include <optional>

#include "gimp/bridge_entry.h"
#include "gimp/gimp3/gimp3_bridge_host.h"
#include "gimp/pdb_status.h"

namespace {

struct LumivoGimpPlugIn {
    GimpPlugIn parent;
};
struct LumivoGimpPlugInClass {
    GimpPlugInClass parent;
};

GimpValueArray* runProcedure(GimpProcedure* procedure, GimpRunMode /*mode*/, GimpImage* image,
                             GimpDrawable** drawables, GimpProcedureConfig* /*config*/,
                             gpointer /*data*/) {
    if (image == nullptr || drawables == nullptr || drawables[0] == nullptr) {
        return gimp_procedure_new_return_values(procedure, GIMP_PDB_CALLING_ERROR, nullptr);
    }
    Gimp3BridgeHost host(image, drawables);
    return gimp_procedure_new_return_values(procedure, pdbStatusOf(runInstalledBridge(host)),
                                            nullptr);
}

GList* queryProcedures(GimpPlugIn* /*plugIn*/) {
    // GIMP keeps what is registered until the bridge's program changes on disk.
    if (!installedBridgeRegistration()) {
        return nullptr;
    }
    return g_list_append(nullptr, g_strdup(kBridgeProcedure));
}

GimpProcedure* createProcedure(GimpPlugIn* plugIn, const gchar* name) {
    if (strcmp(name, kBridgeProcedure) != 0) {
        return nullptr;
    }
    // A bundle gone since GIMP registered the item still gets its run, which says so.
    const std::optional<BridgeRegistration> registration = installedBridgeRegistration();
    GimpProcedure* procedure = gimp_image_procedure_new(plugIn, name, GIMP_PDB_PROC_TYPE_PLUGIN,
                                                        runProcedure, nullptr, nullptr);
    // Every image, and several selected layers too: what can't be filtered is told why instead
    // of finding the item greyed out.
    gimp_procedure_set_image_types(procedure, "*");
    gimp_procedure_set_sensitivity_mask(
        procedure, GIMP_PROCEDURE_SENSITIVE_DRAWABLE | GIMP_PROCEDURE_SENSITIVE_DRAWABLES);
    gimp_procedure_set_menu_label(procedure, registration ? registration->title.c_str() : "Lumivo");
    gimp_procedure_add_menu_path(procedure, kBridgeMenuPath);
    gimp_procedure_set_documentation(procedure, registration ? registration->blurb.c_str() : "",
                                     registration ? registration->help.c_str() : "", name);
    gimp_procedure_set_attribution(procedure, "Lumivo", "Lumivo", "2024");
    return procedure;
}

// The bridge has no message catalogs; without this GIMP looks for them on every run.
gboolean setI18n(GimpPlugIn* /*plugIn*/, const gchar* /*name*/, gchar** /*domain*/,
                 gchar** /*catalogs*/) {
    return FALSE;
}

}  // namespace

G_DEFINE_TYPE(LumivoGimpPlugIn, lumivo_gimp_plug_in, GIMP_TYPE_PLUG_IN)

static void lumivo_gimp_plug_in_class_init(LumivoGimpPlugInClass* type) {
    GimpPlugInClass* plugIn = GIMP_PLUG_IN_CLASS(type);
    plugIn->query_procedures = queryProcedures;
    plugIn->create_procedure = createProcedure;
    plugIn->set_i18n = setI18n;
}

static void lumivo_gimp_plug_in_init(LumivoGimpPlugIn* /*plugIn*/) {}

int main(int argc, char** argv) {
    markBridgeStarted();
    return gimp_main(lumivo_gimp_plug_in_get_type(), argc, argv);
}
