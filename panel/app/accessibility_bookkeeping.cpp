#include "panel/app/accessibility_bookkeeping.h"

#include <utility>

#include "panel/app/apply_auto_press.h"

AccessibilityBookkeeping::AccessibilityBookkeeping(AccessibilityPermission& permission,
                                                   UserDefaults& defaults, std::string appVersion)
    : permission_(permission), defaults_(defaults), appVersion_(std::move(appVersion)) {}

std::optional<std::string> AccessibilityBookkeeping::accessibilityStatusForApply() {
    if (permission_.isHeld()) {
        if (!defaults_.boolForKey(kGrantObservedKey)) {
            defaults_.setBool(kGrantObservedKey, true);
        }
        return std::nullopt;
    }
    if (defaults_.boolForKey(kGrantObservedKey)) {
        return apply_status::kAccessibilityStale;
    }
    // The version is stored before the prompt is requested, so a crash in between can't make
    // every later result ask again.
    std::optional<std::string> prompted = defaults_.stringForKey(kPromptedVersionKey);
    if (!prompted || *prompted != appVersion_) {
        defaults_.setString(kPromptedVersionKey, appVersion_);
        permission_.requestPrompt();
    }
    return apply_status::kAccessibility;
}

bool AccessibilityBookkeeping::repair() {
    defaults_.remove(kPromptedVersionKey);
    const bool held = permission_.isHeld();
    if (held) {
        defaults_.setBool(kGrantObservedKey, true);
    } else {
        permission_.requestPrompt();
        permission_.openSettings();
    }
    return held;
}
