#pragma once

#include <string>

#include <nlohmann/json.hpp>

// The one way into the page: calls window[name](...arguments) later on the main thread.
// Any thread; never blocks. `arguments` is a JSON array; an ack id is passed back exactly as the
// page sent it, whatever its JSON type.
class PageCaller {
  public:
    virtual ~PageCaller() = default;
    virtual void callAck(const std::string& name, const nlohmann::json& arguments) = 0;
};
