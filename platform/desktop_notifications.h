#pragma once

#include <functional>
#include <string>

// One notification as handed to the desktop. A second notification with the same identifier
// takes the place of the first one.
struct DesktopNotification {
    std::string identifier;
    std::string title;
    std::string body;
    std::string creationId;  // handed back when the notification is clicked
};

// The desktop's notification centre. Main thread only; nothing blocks.
class DesktopNotifications {
  public:
    virtual ~DesktopNotifications() = default;
    // Asks whether notifications may be shown (with alerts and sound). `done` runs once, later,
    // on the main thread; it is dropped when the centre is destroyed first.
    virtual void requestAuthorization(std::function<void(bool granted)> done) = 0;
    // Shows the notification at once with the default sound. Failures are not reported.
    virtual void add(const DesktopNotification& notification) = 0;
    // From now on a click on one of this run's notifications calls `onClick` with its creation
    // id (on the main thread). Until the first call clicks are dropped. Replaces any earlier
    // handler.
    virtual void setClickHandler(std::function<void(std::string creationId)> onClick) = 0;
};
