#pragma once

#include <memory>

#include "panel/bridge/lumivo_panel_handler.h"
#include "platform/panel_window.h"
#include "platform/task_queue.h"

// The modules that serve the page's apply, service and notification requests, owned for the
// life of the process. A null member means the module is not there; the handler then answers
// its requests as failures.
struct PanelModules {
    std::shared_ptr<ApplyRequests> apply;
    std::shared_ptr<ServiceRequests> service;
    std::shared_ptr<NotificationRequests> notifications;
    std::shared_ptr<TransferRequests> transfers;
};

// The one place where the panel builds its request modules. Main thread, during start-up,
// after the window exists and before the page loads. `workers` encode frames for transfers.
PanelModules wirePanelModules(LumivoPanelHandler& handler, TaskQueue& mainQueue, TaskQueue& workers,
                              std::weak_ptr<PanelWindow> window);
