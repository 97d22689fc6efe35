#include "panel/app/panel_modules.h"

#include "imaging/png.h"

#include "panel/app/apply_module.h"
#include "panel/app/input_intake.h"
#include "panel/bridge/notifications.h"
#include "panel/service/frame_transfers.h"
#include "panel/service/service_module.h"

PanelModules wirePanelModules(LumivoPanelHandler& handler, TaskQueue& mainQueue, TaskQueue& workers,
                              std::weak_ptr<PanelWindow> window) {
    PanelModules modules;
    modules.apply = makeApplyModule(handler, handler, gHostPid, window);
    std::shared_ptr<ServiceModule> service = makeServiceModule(handler, mainQueue);
    modules.service = service;
    modules.transfers = std::make_shared<FrameTransfers>(
        handler, handler, *modules.apply, service->http(), mainQueue, workers, png::encode);
    modules.notifications = makeNotificationModule(handler, mainQueue, [window] {
        if (auto shown = window.lock()) {
            shown->present();
        }
    });
    return modules;
}
