#pragma once

#include "platform/accessibility_permission.h"

// The accessibility permission on a Linux desktop. There is no per-application grant there:
// any program of the user's session may drive another through the accessibility bus, once the
// user has switched assistive technology support on. So:
// - held: the accessibility bus can be reached (its launcher gives an address) and the
//   launcher's org.a11y.Status IsEnabled property is true, the desktop-wide switch that tells
//   applications to publish their interface (the launcher keeps it in step with the desktop's
//   toolkit-accessibility setting);
// - the prompt: nothing. The desktop has no prompt that only asks; the page's own message with
//   its button to fix the permission stands in for it, and that button leads to switchOn's
//   question;
// - switching on: setting IsEnabled to true, the same as the user switching assistive
//   technology on in the desktop's settings, and remembered there;
// - the settings: the desktop's accessibility settings panel, when one of the known settings
//   programs is installed (GNOME's universal-access panel, KDE's accessibility module).
// Any thread; each call blocks for at most one short round trip on the session bus.
class AtspiPermission final : public AccessibilityPermission {
  public:
    bool isHeld() override;
    void requestPrompt() override {}
    UserQuestion switchOnQuestion() const override;
    bool switchOn() override;
    bool openSettings() override;
};
