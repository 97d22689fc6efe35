#pragma once

#include "platform/accessibility_permission.h"

// The permission as a flag, with counters of what was asked. One thread at a time.
class FakeAccessibilityPermission final : public AccessibilityPermission {
  public:
    bool held = false;
    bool settingsAvailable = true;
    bool switchingWorks = true;
    int prompts = 0;
    int switchOns = 0;
    int settingsOpened = 0;

    bool isHeld() override { return held; }
    void requestPrompt() override { ++prompts; }
    UserQuestion switchOnQuestion() const override {
        return {"Switch?", "The whole desktop changes.", "Undo it in the settings.", "Yes", "No"};
    }
    bool switchOn() override {
        ++switchOns;
        held = held || switchingWorks;
        return switchingWorks;
    }
    bool openSettings() override {
        if (!settingsAvailable) {
            return false;
        }
        ++settingsOpened;
        return true;
    }
};
