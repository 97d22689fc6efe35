#include <optional>

#include "panel/service/auth_service.h"
#include "panel/service/url_rules.h"

namespace {

// A member's text, or nothing when it is absent or not a string.
std::optional<std::string> stringMember(const nlohmann::json& object, const char* name) {
    if (!object.is_object()) {
        return std::nullopt;
    }
    auto found = object.find(name);
    if (found == object.end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

}  // namespace

AuthService::AuthService(PageCaller& page, TaskQueue& main, Keychain& keychain, HttpTransport& http,
                         std::function<double()> nowSeconds)
    : page_(page),
      main_(main),
      keychain_(keychain),
      http_(http),
      nowSeconds_(std::move(nowSeconds)) {}

void AuthService::answer(const nlohmann::json& ackId, bool ok, const std::string& text) {
    page_.callAck("__lumivoAuthAck", nlohmann::json::array({ackId, ok, text}));
}

void AuthService::handleAuthSave(const nlohmann::json& ackId, const nlohmann::json& message) {
    const std::string endpoint = stringMember(message, "tokenEndpoint").value_or("");
    const auto url = HttpUrl::parse(endpoint);
    if (!url || !isAllowedTokenEndpoint(*url)) {
        answer(ackId, false, "Token endpoint not allowed");
        return;
    }
    const auto refreshToken = stringMember(message, "refreshToken");
    if (!refreshToken || refreshToken->empty()) {
        answer(ackId, false, "Missing refresh token");
        return;
    }
    const nlohmann::json record = {
        {"refreshToken", *refreshToken},
        {"tokenEndpoint", endpoint},
        {"clientId", stringMember(message, "clientId").value_or("")},
    };
    std::string data;
    try {
        data = record.dump();  // throws on text that isn't UTF-8
    } catch (const nlohmann::json::exception&) {
        answer(ackId, false, "Keychain write failed");
        return;
    }
    if (!keychain_.keychainWrite(data)) {
        answer(ackId, false, "Keychain write failed");
        return;
    }
    ++authGeneration_;
    answer(ackId, true, "");
}

void AuthService::signOut(const nlohmann::json& ackId) {
    ++authGeneration_;
    keychain_.keychainDelete();
    answer(ackId, true, "");
}
