#include "panel/app/apply_module.h"

#include <optional>
#include <string>
#include <utility>

#include "panel/app/accessibility_bookkeeping.h"
#include "panel/app/apply_auto_press.h"
#include "panel/app/apply_back.h"
#include "panel/app/apply_queue.h"
#include "platform/bundle.h"
#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/atspi_permission.h"
#include "platform/linux/keyfile_user_defaults.h"
#include "platform/linux/proc_running_apps.h"
#include "platform/linux/x11_window_stacking.h"
#include "plugin/spool.h"

namespace {

// The panel bundle's short version, "" when there is none.
std::string panelVersion() {
    const std::string bundle = mainBundlePath();
    if (bundle.empty()) {
        return "";
    }
    std::optional<BundleInfo> info = readBundleInfo(bundle);
    return info ? info->shortVersion : "";
}

class ApplyModuleImpl final : public ApplyModule {
  public:
    ApplyModuleImpl(PageCaller& page, PanelState& panel, const std::atomic<int32_t>& hostPid,
                    std::weak_ptr<PanelWindow> window)
        : defaults_(KeyfileUserDefaults::defaultPath()),
          bookkeeping_(permission_, defaults_, panelVersion(), std::move(window)),
          applier_(
              accessibility_, runningApps_, hostPid,
              [this] { return bookkeeping_.accessibilityStatusForApply(); },
              ApplyWaitClock::system(), [&panel] { return panel.handOffs(); },
              [](pid_t pid) { return x11WindowTitlesTopFirst(pid); }),
          back_(page, panel, applyQueue, applier_, bookkeeping_,
                [] { return spool::nowSeconds(); }) {}

    void handleApplyResult(const nlohmann::json& ackId, std::string base64) override {
        back_.handleApplyResult(ackId, std::move(base64));
    }
    void handleApplyResultFrom(const nlohmann::json& ackId, ResultProducer produce) override {
        back_.handleApplyResultFrom(ackId, std::move(produce));
    }
    void handleAccessibilityRepair(const nlohmann::json& ackId) override {
        back_.handleAccessibilityRepair(ackId);
    }

  private:
    AtspiAccessibility accessibility_;
    AtspiPermission permission_;
    KeyfileUserDefaults defaults_;
    ProcRunningApps runningApps_;
    AccessibilityBookkeeping bookkeeping_;
    AutoApplier applier_;
    ApplyBack back_;
};

}  // namespace

std::unique_ptr<ApplyModule> makeApplyModule(PageCaller& page, PanelState& panel,
                                             const std::atomic<int32_t>& hostPid,
                                             std::weak_ptr<PanelWindow> window) {
    return std::make_unique<ApplyModuleImpl>(page, panel, hostPid, std::move(window));
}
