#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/scheme_request.h"

// A request on the panel's scheme as plain data; its answers land in a log the test keeps, so
// they can be read after the lanes have let the request go. Main thread only.
struct FakeSchemeRequest final : SchemeRequest {
    std::string requestMethod = "GET";
    std::string requestUri;
    std::map<std::string, std::string> headers;
    std::shared_ptr<std::vector<SchemeResponse>> answers =
        std::make_shared<std::vector<SchemeResponse>>();

    std::string method() const override { return requestMethod; }
    std::string uri() const override { return requestUri; }
    std::optional<std::string> header(std::string_view name) const override {
        auto found = headers.find(std::string(name));
        if (found == headers.end()) {
            return std::nullopt;
        }
        return found->second;
    }
    void respond(SchemeResponse response) override { answers->push_back(std::move(response)); }
};

// The value of a response header, "" when absent.
inline std::string headerOf(const SchemeResponse& response, const std::string& name) {
    for (const auto& [key, value] : response.headers) {
        if (key == name) {
            return value;
        }
    }
    return "";
}
