#pragma once

#include "platform/user_question.h"

// Whether this process may drive other applications through the accessibility interface, and
// the ways of getting it. Any thread; each call blocks briefly (a round trip to a desktop
// service) and fails quietly: a failed check reads as "not held".
class AccessibilityPermission {
  public:
    virtual ~AccessibilityPermission() = default;
    virtual bool isHeld() = 0;
    // Asks the desktop to show the user how to grant the permission; returns at once, the
    // outcome is not reported. Changes no setting: only the user grants.
    virtual void requestPrompt() = 0;
    // What switchOn changes, as the question the user must answer yes to first.
    virtual UserQuestion switchOnQuestion() const = 0;
    // Grants the permission by changing a setting of the user's whole desktop. Only ever called
    // after the user said yes to switchOnQuestion. False when it could not be done.
    virtual bool switchOn() = 0;
    // Opens the desktop's accessibility settings; false when there is nothing to open.
    virtual bool openSettings() = 0;
};
