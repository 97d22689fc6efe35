#pragma once

// Whether this process may drive other applications through the accessibility interface, and
// the two ways of asking the user for it. Any thread; each call blocks briefly (a round trip to
// a desktop service) and fails quietly: a failed check reads as "not held".
class AccessibilityPermission {
  public:
    virtual ~AccessibilityPermission() = default;
    virtual bool isHeld() = 0;
    // Asks the desktop to grant the permission; returns at once, the outcome is not reported.
    virtual void requestPrompt() = 0;
    // Opens the desktop's accessibility settings; false when there is nothing to open.
    virtual bool openSettings() = 0;
};
