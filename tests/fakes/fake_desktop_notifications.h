#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/desktop_notifications.h"

// Keeps authorisation requests until the test answers them; a notification with a known
// identifier replaces the earlier one, as a real centre does.
struct FakeDesktopNotifications final : DesktopNotifications {
    std::vector<std::function<void(bool)>> authorisations;
    std::vector<DesktopNotification> shown;
    std::function<void(std::string)> onClick;
    int clickHandlerSets = 0;

    void requestAuthorization(std::function<void(bool granted)> done) override {
        authorisations.push_back(std::move(done));
    }
    void add(const DesktopNotification& notification) override {
        for (auto& existing : shown) {
            if (existing.identifier == notification.identifier) {
                existing = notification;
                return;
            }
        }
        shown.push_back(notification);
    }
    void setClickHandler(std::function<void(std::string creationId)> handler) override {
        ++clickHandlerSets;
        onClick = std::move(handler);
    }
    // Answers every pending authorisation request.
    void authorise(bool granted) {
        auto pending = std::move(authorisations);
        authorisations.clear();
        for (auto& done : pending) {
            done(granted);
        }
    }
};
