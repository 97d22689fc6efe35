#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The answer to one request on a URI scheme of the panel's own.
struct SchemeResponse {
    int status = 200;
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> headers;
    std::vector<uint8_t> body;
};

// One request that the page's web engine made on a URI scheme of the panel's own, as the logic
// behind the scheme sees it. Main thread only, including its destruction. It is answered at most
// once; one destroyed unanswered fails in the page as a network error.
class SchemeRequest {
  public:
    virtual ~SchemeRequest() = default;
    virtual std::string method() const = 0;
    // The whole URI, as the web engine normalised it.
    virtual std::string uri() const = 0;
    // A request header as the web engine sent it (the page can't set "Origin"); none when absent.
    virtual std::optional<std::string> header(std::string_view name) const = 0;
    virtual void respond(SchemeResponse response) = 0;
};
