#pragma once

#include "platform/send_notification.h"

// Posts the send announcement as a broadcast signal on the session bus. Each post opens a
// private connection and closes it once the signal is flushed, so nothing of the bus stays
// behind in the host editor between filter runs. Calling thread; blocks for the round trip.
class DbusSendNotifier final : public SendNotifier {
  public:
    bool post(const SendAnnouncement& announcement) override;
};
