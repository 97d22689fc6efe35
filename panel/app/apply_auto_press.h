#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/accessibility.h"
#include "platform/running_apps.h"

// The status tokens that tell the page how a result application ended.
namespace apply_status {
inline constexpr char kAccessibility[] = "accessibility";
inline constexpr char kAccessibilityStale[] = "accessibility-stale";
inline constexpr char kHostGone[] = "host-gone";
inline constexpr char kMenuMissing[] = "menu-missing";
inline constexpr char kFilterDisabled[] = "filter-disabled";
inline constexpr char kPressFailed[] = "press-failed";
inline constexpr char kTimeout[] = "timeout";
// The editor ran the filter after the press but handed its picture over instead of applying:
// the result was made from another picture (another image, or this one before an undo or other
// edits). The result file stays for its own picture.
inline constexpr char kOtherPicture[] = "other-picture";
}  // namespace apply_status

// The clock and the sleep of the wait for consumption; tests replace both.
struct ApplyWaitClock {
    // Seconds on a clock that never goes back, so a wall-clock change can't stretch the wait.
    std::function<double()> nowSeconds;
    std::function<void(int64_t microseconds)> sleep;

    static ApplyWaitClock system();
};

// Presses the host editor's "Lumivo" menu item so that the editor runs the filter again, then
// waits for the plug-in to consume the result file. The item is searched in the editor's window
// the user worked in last (see locateLumivoMenuItem). The item found is kept for the next result
// of the same host process while its windows stand in the same order; before each press its
// title and enabled flag are read again, and a kept item that no longer bears the title counts
// as stale. Apply queue only (the object is
// created anywhere, then used there).
class AutoApplier {
  public:
    static constexpr int64_t kPollMicroseconds = 200000;
    static constexpr double kWaitSeconds = 10.0;

    // `permissionStatus` answers none when the accessibility interface may be used, else the
    // token to report. `handOffs` counts the pictures editors have handed over so far
    // (PanelState::handOffs). `windowTitlesTopFirst` gives the titles of a process's windows on
    // the desktop, the highest-stacked first (empty when the desktop can't say). All references
    // must outlive the applier.
    AutoApplier(Accessibility& accessibility, RunningApps& runningApps,
                const std::atomic<int32_t>& hostPid,
                std::function<std::optional<std::string>()> permissionStatus, ApplyWaitClock clock,
                std::function<uint64_t()> handOffs,
                std::function<std::vector<std::string>(pid_t)> windowTitlesTopFirst);

    // None when the file was consumed (or was gone before the press), else a status token.
    std::optional<std::string> autoApplyAndAwaitConsumption(const std::string& resultPath);

  private:
    enum class PressOutcome { kPressed, kDisabled, kFailed };

    PressOutcome tryPress(const AxElement& item);
    // `handOffsBefore` is the count of hand-offs before the press.
    std::optional<std::string> waitForConsumption(const std::string& resultPath,
                                                  uint64_t handOffsBefore);

    Accessibility& accessibility_;
    RunningApps& runningApps_;
    const std::atomic<int32_t>& hostPid_;
    std::function<std::optional<std::string>()> permissionStatus_;
    ApplyWaitClock clock_;
    std::function<uint64_t()> handOffs_;
    std::function<std::vector<std::string>(pid_t)> windowTitlesTopFirst_;

    AxHandle cachedItem_;
    pid_t cachedItemPid_ = 0;
    std::vector<std::string> cachedItemWindows_;  // the window order the item was found in
};
