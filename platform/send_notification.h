#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// The system-wide "send" announcement of a new input file, broadcast on the session bus.

struct SendAnnouncement {
    std::string input;  // absolute path of the input file
    bool activate = true;
    int32_t hostPid = 0;
};

// Plug-in side. Calling thread; blocks until the signal is flushed to the bus.
class SendNotifier {
  public:
    virtual ~SendNotifier() = default;
    // False when the session bus can't be reached or the signal can't be sent.
    virtual bool post(const SendAnnouncement& announcement) = 0;
};

// What a receiver read from one signal, loosely typed as it arrived: a member that was absent
// or of an unusable type is empty. "activate" of a numeric type reads as true when not zero.
struct ReceivedAnnouncement {
    std::optional<std::string> input;
    std::optional<int64_t> hostPid;
    std::optional<bool> activate;
};

// Panel side. The handler is called on the main thread, once per signal, in arrival order;
// the subscription lasts as long as the returned object.
class SendSubscription {
  public:
    virtual ~SendSubscription() = default;
};
using SendHandler = std::function<void(const ReceivedAnnouncement&)>;
