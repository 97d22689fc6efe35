#include "panel/app/panel_modules.h"

#include "panel/app/apply_module.h"
#include "panel/app/input_intake.h"

// ---------------------------------------------------------------------------------------------
// WIRING SPOT: construct the apply-back / accessibility, service and notification modules here
// (each gets what it needs: the handler as PageCaller and PanelState, the main queue, the
// window, gHostPid from panel/app/input_intake.h, the handler's auth generation).
// Until then every member is null and the handler answers those requests as failures.
// ---------------------------------------------------------------------------------------------
PanelModules wirePanelModules(LumivoPanelHandler& handler, TaskQueue& /*mainQueue*/,
                              std::weak_ptr<PanelWindow> /*window*/) {
    PanelModules modules;
    modules.apply = makeApplyModule(handler, handler, gHostPid);
    return modules;
}
