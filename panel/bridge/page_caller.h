#pragma once

#include <string>

#include <nlohmann/json.hpp>

// The one way into the page: calls window[name](...arguments) later on the main thread.
// Any thread; never blocks. `arguments` is a JSON array. When its first element is an ack id as
// the modules received it, the page's own id is written in its place, whatever its JSON type,
// and the call runs only in the document that asked.
class PageCaller {
  public:
    virtual ~PageCaller() = default;
    virtual void callAck(const std::string& name, const nlohmann::json& arguments) = 0;
};
