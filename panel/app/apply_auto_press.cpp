#include "panel/app/apply_auto_press.h"

#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "panel/app/apply_menu_search.h"

namespace {

bool fileExists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

ApplyWaitClock ApplyWaitClock::system() {
    return ApplyWaitClock{
        [] {
            return std::chrono::duration<double>(
                       std::chrono::steady_clock::now().time_since_epoch())
                .count();
        },
        [](int64_t microseconds) {
            std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
        },
    };
}

AutoApplier::AutoApplier(Accessibility& accessibility, RunningApps& runningApps,
                         const std::atomic<int32_t>& hostPid,
                         std::function<std::optional<std::string>()> permissionStatus,
                         ApplyWaitClock clock, std::function<uint64_t()> handOffs,
                         std::function<std::vector<std::string>(pid_t)> windowTitlesTopFirst)
    : accessibility_(accessibility),
      runningApps_(runningApps),
      hostPid_(hostPid),
      permissionStatus_(std::move(permissionStatus)),
      clock_(std::move(clock)),
      handOffs_(std::move(handOffs)),
      windowTitlesTopFirst_(std::move(windowTitlesTopFirst)) {}

std::optional<std::string> AutoApplier::autoApplyAndAwaitConsumption(
    const std::string& resultPath) {
    if (!fileExists(resultPath)) {
        return std::nullopt;
    }
    // The permission comes before anything about the host, so a missing permission is reported
    // as such even when the editor has quit.
    if (std::optional<std::string> status = permissionStatus_()) {
        return status;
    }
    const int32_t pid = hostPid_.load();
    if (pid <= 0) {
        return apply_status::kHostGone;
    }
    std::optional<RunningApp> host = runningApps_.withPid(pid);
    if (!host || runningApps_.isTerminated(host->pid)) {
        return apply_status::kHostGone;
    }
    // With one menu bar per image window, the kept item runs the filter on its own window's
    // image: once the user turned to another window, it is the wrong one.
    std::vector<std::string> windows = windowTitlesTopFirst_(host->pid);
    if (cachedItem_ && (cachedItemPid_ != host->pid || cachedItemWindows_ != windows)) {
        cachedItem_.reset();
    }
    cachedItemPid_ = host->pid;
    cachedItemWindows_ = windows;

    if (!cachedItem_) {
        cachedItem_ = locateLumivoMenuItem(accessibility_, host->pid, windows);
        if (!cachedItem_) {
            return apply_status::kMenuMissing;
        }
    }
    // Two tries: a cached item may have gone stale (the menu was rebuilt), so one failure earns
    // one fresh search; a second failure is final.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt == 1) {
            cachedItem_ = locateLumivoMenuItem(accessibility_, host->pid, windows);
            if (!cachedItem_) {
                return apply_status::kMenuMissing;
            }
        }
        const uint64_t handOffsBefore = handOffs_();
        switch (tryPress(*cachedItem_)) {
            case PressOutcome::kPressed:
                return waitForConsumption(resultPath, handOffsBefore);
            case PressOutcome::kDisabled:
                return apply_status::kFilterDisabled;
            case PressOutcome::kFailed:
                cachedItem_.reset();
                break;
        }
    }
    return apply_status::kPressFailed;
}

AutoApplier::PressOutcome AutoApplier::tryPress(const AxElement& item) {
    // An editor may reuse a menu element for another item (GIMP relabels its Recently Used
    // entries whenever another filter runs). Pressing it would run that other filter on the
    // user's image, so the element must still bear the filter's title; if not, it is stale.
    std::optional<std::string> title = accessibility_.title(item);
    if (!title || *title != kLumivoMenuTitle) {
        return PressOutcome::kFailed;
    }
    EnabledRead enabled = accessibility_.enabled(item);
    switch (enabled.outcome) {
        case EnabledRead::kError:
            return PressOutcome::kFailed;
        case EnabledRead::kAbsent:
            return PressOutcome::kDisabled;
        case EnabledRead::kValue:
            if (!enabled.value) {
                return PressOutcome::kDisabled;
            }
            break;
    }
    return accessibility_.press(item) ? PressOutcome::kPressed : PressOutcome::kFailed;
}

std::optional<std::string> AutoApplier::waitForConsumption(const std::string& resultPath,
                                                           uint64_t handOffsBefore) {
    // The first check follows the press at once; the deadline is tested before each check.
    const double deadline = clock_.nowSeconds() + kWaitSeconds;
    for (;;) {
        if (!(deadline > clock_.nowSeconds())) {
            return apply_status::kTimeout;
        }
        if (!fileExists(resultPath)) {
            return std::nullopt;
        }
        // The run the press started handed its picture over and left the result: waiting on
        // would only end in a timeout, and the page can say at once why nothing changed.
        if (handOffs_() != handOffsBefore) {
            return apply_status::kOtherPicture;
        }
        clock_.sleep(kPollMicroseconds);
    }
}
