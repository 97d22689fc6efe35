#include "panel/app/accessibility_bookkeeping.h"

#include <utility>

#include "panel/app/apply_auto_press.h"

AccessibilityBookkeeping::AccessibilityBookkeeping(AccessibilityPermission& permission,
                                                   UserDefaults& defaults, std::string appVersion,
                                                   std::weak_ptr<PanelWindow> window)
    : permission_(permission),
      defaults_(defaults),
      appVersion_(std::move(appVersion)),
      window_(std::move(window)) {}

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

void AccessibilityBookkeeping::repair(std::function<void(bool held)> answered) {
    defaults_.remove(kPromptedVersionKey);
    if (observeHeld()) {
        answered(true);
        return;
    }
    if (!waiting_.empty()) {
        if (waiting_.size() >= kMaxWaitingRepairs) {
            answered(false);
            return;
        }
        waiting_.push_back(std::move(answered));
        return;
    }
    std::shared_ptr<PanelWindow> window = window_.lock();
    if (!window) {
        answered(false);
        return;
    }
    waiting_.push_back(std::move(answered));
    window->ask(permission_.switchOnQuestion(), [this](bool yes) { settle(yes); });
}

bool AccessibilityBookkeeping::observeHeld() {
    const bool held = permission_.isHeld();
    if (held) {
        defaults_.setBool(kGrantObservedKey, true);
    }
    return held;
}

void AccessibilityBookkeeping::settle(bool yes) {
    bool held = false;
    if (yes) {
        held = permission_.switchOn() && observeHeld();
        if (!held) {
            // The user wants it on but the desktop didn't take the change: show where to do it.
            permission_.openSettings();
        }
    }
    std::vector<std::function<void(bool)>> answers = std::move(waiting_);
    waiting_.clear();
    for (auto& answer : answers) {
        answer(held);
    }
}
