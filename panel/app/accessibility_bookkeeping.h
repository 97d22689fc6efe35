#pragma once

#include <optional>
#include <string>

#include "platform/accessibility_permission.h"
#include "platform/user_defaults.h"

// What the panel has seen of its accessibility permission, kept in the user defaults, and the
// decisions built on it: which token a result application reports when the permission is
// missing, and when the desktop is asked to grant it. Any thread: it keeps no state of its own,
// and the user defaults are safe from several threads.
class AccessibilityBookkeeping {
  public:
    static constexpr char kPromptedVersionKey[] = "LumivoAccessibilityPromptedVersion";
    static constexpr char kGrantObservedKey[] = "LumivoAccessibilityGrantObserved";

    // `appVersion` is the panel bundle's short version ("" when it names none).
    AccessibilityBookkeeping(AccessibilityPermission& permission, UserDefaults& defaults,
                             std::string appVersion);

    // None when the permission is held, else "accessibility" (never seen held; the desktop is
    // asked once per application version) or "accessibility-stale" (held once, not now).
    std::optional<std::string> accessibilityStatusForApply();

    // The page's request to fix the permission: re-arms the prompt, asks the desktop again and
    // opens its settings when the permission is missing. Returns whether it is held.
    bool repair();

  private:
    AccessibilityPermission& permission_;
    UserDefaults& defaults_;
    std::string appVersion_;
};
