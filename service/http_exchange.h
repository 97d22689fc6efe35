#pragma once

#include <libsoup/soup.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// One request as the service's routes see it, and the ways to answer it. Main thread only;
// it lives for the handler call that made it.
class HttpExchange {
  public:
    explicit HttpExchange(SoupServerMessage* message);

    const std::string& host() const { return host_; }  // lower-cased, without the port
    const std::string& method() const { return method_; }
    const std::string& path() const { return path_; }
    const std::string& query() const { return query_; }
    std::string header(const char* name) const;  // "" when absent
    // The request body: already bounded before it was read.
    std::string body() const;
    std::vector<uint8_t> bodyBytes() const;
    // The token of "Authorization: Bearer <token>", or "".
    std::string bearerToken() const;

    void reply(int status, const char* contentType, const std::string& body);
    // Hands the bytes over without a copy; they stay alive until written.
    void reply(int status, const char* contentType,
               std::shared_ptr<const std::vector<uint8_t>> body);
    void replyJson(int status, const nlohmann::json& body);
    // {"error": code, "message": text}: the code for programs, the text for people.
    void replyError(int status, const char* code, const std::string& text);
    void setHeader(const char* name, const std::string& value);

    int status() const;

  private:
    SoupServerMessage* message_;
    std::string host_;
    std::string method_;
    std::string path_;
    std::string query_;
};
