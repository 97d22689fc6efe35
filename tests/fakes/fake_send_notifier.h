#pragma once

#include <vector>

#include "platform/send_notification.h"

// Records every announcement; answers post() with `reachable`. One thread.
struct FakeSendNotifier final : SendNotifier {
    bool reachable = true;
    std::vector<SendAnnouncement> posted;

    bool post(const SendAnnouncement& announcement) override {
        posted.push_back(announcement);
        return reachable;
    }
};
