#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// An absolute URL as parsed by the very parser that later connects to it, so a rule that judges
// the host judges the host that is reached. Immutable; a copy may move to another thread.
class HttpUrl {
  public:
    // Nothing when the text is not an absolute URL with a scheme the transport knows, or when it
    // holds a NUL character.
    static std::optional<HttpUrl> parse(std::string_view text);

    const std::string& scheme() const { return scheme_; }  // lower-case
    const std::string& host() const { return host_; }      // as the parser reports it
    const std::string& port() const { return port_; }      // as written; "" when none is
    bool hasUser() const { return hasUser_; }              // also an empty one ("https://@h/")
    bool hasPassword() const { return hasPassword_; }
    const std::string& text() const { return text_; }          // the URL as parsed (normalised)
    const std::string& original() const { return original_; }  // the text that was parsed

    // The parser's own handle (a CURLU* on Linux), for the transport only.
    const void* native() const { return native_.get(); }

  private:
    HttpUrl() = default;
    std::string scheme_;
    std::string host_;
    std::string port_;
    bool hasUser_ = false;
    bool hasPassword_ = false;
    std::string text_;
    std::string original_;
    std::shared_ptr<const void> native_;
};

// One HTTP request. Exactly the listed headers are sent, besides those the protocol itself needs
// (Host, Content-Length); a header with an empty value is sent empty. User information in the
// URL is not sent (it would otherwise become an Authorization header).
struct HttpRequest {
    std::string method;  // "GET", "POST" or "PUT"
    HttpUrl url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::vector<uint8_t> body;  // not sent with "GET"
    // The request fails when connecting, or any stretch without data, lasts longer than this.
    std::chrono::milliseconds idleTimeout{60000};
    // The response body is kept up to this size; a longer one fails the request. 0: not read.
    size_t maxResponseBytes = 0;
};

struct HttpResponse {
    bool transportError = false;
    std::string errorText;  // human-readable; never holds the URL or the request body
    long status = 0;        // HTTP status code when there was no transport error
    std::string body;
};

// Sends requests in the background. send() may be called from any thread and returns at once.
// `done` runs exactly once, on a worker thread of the transport, unless the transport is
// destroyed first: the destructor abandons unfinished requests without calling them back.
// Redirects are not followed.
class HttpTransport {
  public:
    virtual ~HttpTransport() = default;
    virtual void send(HttpRequest request, std::function<void(HttpResponse)> done) = 0;
};
