#include "panel/app/panel_modules.h"

#include "panel/app/apply_module.h"
#include "panel/app/input_intake.h"
#include "panel/bridge/notifications.h"
#include "panel/service/service_module.h"

PanelModules wirePanelModules(LumivoPanelHandler& handler, TaskQueue& mainQueue,
                              std::weak_ptr<PanelWindow> window) {
    PanelModules modules;
    modules.apply = makeApplyModule(handler, handler, gHostPid, window);
    modules.service = makeServiceModule(handler, mainQueue);
    modules.notifications = makeNotificationModule(handler, mainQueue, [window] {
        if (auto shown = window.lock()) {
            shown->present();
        }
    });
    return modules;
}
