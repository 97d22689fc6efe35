#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "panel/bridge/page_caller.h"
#include "panel/bridge/panel_requests.h"
#include "panel/bridge/panel_state.h"
#include "platform/panel_window.h"

// The apply-back and the accessibility permission, built on the desktop's real services (the
// accessibility bus, the user-defaults key file, /proc) and the apply queue. Its requests come
// on the main thread; the work runs on the apply queue.
class ApplyModule : public ApplyRequests {};

// Called once by the panel's start-up on the main thread. `page` and `panel` are the handler,
// `hostPid` is gHostPid; all three must outlive the module, which must live until the process
// ends (apply jobs refer to it). `window` is where the user is asked before the permission is
// switched on.
std::unique_ptr<ApplyModule> makeApplyModule(PageCaller& page, PanelState& panel,
                                             const std::atomic<int32_t>& hostPid,
                                             std::weak_ptr<PanelWindow> window);
