#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/accessibility_permission.h"
#include "platform/panel_window.h"
#include "platform/user_defaults.h"

// What the panel has seen of its accessibility permission, kept in the user defaults, and the
// decisions built on it: which token a result application reports when the permission is
// missing, when the desktop is asked to grant it, and the page's request to fix it. Nothing
// here changes a desktop setting unless the user has just said yes to that very change in the
// panel's own dialog.
class AccessibilityBookkeeping {
  public:
    static constexpr char kPromptedVersionKey[] = "LumivoAccessibilityPromptedVersion";
    static constexpr char kGrantObservedKey[] = "LumivoAccessibilityGrantObserved";
    // Requests to fix the permission that wait for the one open question; more are answered at
    // once with the permission as it is, so a page can't pile them up.
    static constexpr size_t kMaxWaitingRepairs = 8;

    // `appVersion` is the panel bundle's short version ("" when it names none). `window` is
    // where the user is asked; without one, nobody can say yes and nothing is switched on.
    AccessibilityBookkeeping(AccessibilityPermission& permission, UserDefaults& defaults,
                             std::string appVersion, std::weak_ptr<PanelWindow> window = {});

    // None when the permission is held, else "accessibility" (never seen held; the desktop is
    // asked once per application version) or "accessibility-stale" (held once, not now). Any
    // thread: it keeps no state of its own, and the user defaults are safe from several threads.
    std::optional<std::string> accessibilityStatusForApply();

    // The page's request to fix the permission: re-arms the apply-time prompt and, when the
    // permission is missing, asks the user in the panel's dialog whether to switch it on; only
    // a yes does. `answered` gets whether the permission is held once that is settled. Main
    // thread only.
    void repair(std::function<void(bool held)> answered);

  private:
    bool observeHeld();
    void settle(bool yes);

    AccessibilityPermission& permission_;
    UserDefaults& defaults_;
    std::string appVersion_;
    std::weak_ptr<PanelWindow> window_;
    // Main thread only: the answers owed to the requests of the open question, if one is open.
    std::vector<std::function<void(bool)>> waiting_;
};
