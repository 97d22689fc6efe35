#include <cmath>
#include <cstdio>
#include <limits>

#include "panel/service/auth_service.h"
#include "panel/service/form_encoding.h"
#include "panel/service/url_rules.h"

namespace {

// JSON text as an object; anything else (no JSON, another type) reads as an object without
// members.
nlohmann::json objectOf(const std::string& text) {
    nlohmann::json parsed = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    return parsed.is_object() ? parsed : nlohmann::json::object();
}

std::string textMember(const nlohmann::json& object, const char* name) {
    auto found = object.find(name);
    return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

// Milliseconds since 1970, truncated toward zero; a value beyond the signed 64-bit range is
// held at its end.
int64_t expiryMilliseconds(double lifetime, double now) {
    const double ms = (lifetime + now) * 1000.0;
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (std::isnan(ms)) {
        return 0;
    }
    if (ms >= kLimit) {
        return std::numeric_limits<int64_t>::max();
    }
    if (ms < -kLimit) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(ms);
}

}  // namespace

void AuthService::handleAuthRefresh(const nlohmann::json& ackId) {
    const auto data = keychain_.keychainRead();
    if (!data) {
        answer(ackId, true, "null");
        return;
    }
    nlohmann::json record = objectOf(*data);
    const auto url = HttpUrl::parse(textMember(record, "tokenEndpoint"));
    if (!url || !isAllowedTokenEndpoint(*url)) {
        keychain_.keychainDelete();
        answer(ackId, true, "null");
        return;
    }
    const std::string body =
        "grant_type=refresh_token&client_id=" + formEncode(textMember(record, "clientId")) +
        "&refresh_token=" + formEncode(textMember(record, "refreshToken"));
    HttpRequest request{
        .method = "POST",
        .url = *url,
        .headers = {{"Content-Type", "application/x-www-form-urlencoded"},
                    {"X-Tessor-Client", "plugin:affinity"}},
        .body = std::vector<uint8_t>(body.begin(), body.end()),
        .idleTimeout = kRefreshIdleTimeout,
        .maxResponseBytes = kMaxTokenResponseBytes,
    };
    const int64_t generation = authGeneration_;
    std::weak_ptr<int> alive = alive_;
    TaskQueue& main = main_;
    // The completion runs on a transport thread: it only hands everything to the main queue.
    http_.send(std::move(request), [this, alive, &main, ackId, record = std::move(record),
                                    generation](HttpResponse response) mutable {
        main.post([this, alive, ackId = std::move(ackId), record = std::move(record), generation,
                   response = std::move(response)] {
            if (alive.lock()) {
                finishRefresh(ackId, record, generation, response);
            }
        });
    });
}

void AuthService::finishRefresh(const nlohmann::json& ackId, const nlohmann::json& record,
                                int64_t generation, const HttpResponse& response) {
    if (response.transportError) {
        answer(ackId, false, response.errorText);
        return;
    }
    const nlohmann::json reply = objectOf(response.body);
    // A refused grant is judged before the status: it ends the sign-in whatever else came.
    if (textMember(reply, "error") == "invalid_grant") {
        if (authGeneration_ == generation) {
            keychain_.keychainDelete();
        }
        answer(ackId, true, "null");
        return;
    }
    const std::string accessToken = textMember(reply, "access_token");
    if (response.status == 200 && !accessToken.empty()) {
        if (authGeneration_ != generation) {
            answer(ackId, true, "null");  // the sign-in changed meanwhile
            return;
        }
        auto rotated = reply.find("refresh_token");
        if (rotated != reply.end() && rotated->is_string()) {
            nlohmann::json updated = record;
            updated["refreshToken"] = *rotated;
            bool stored = false;
            try {
                stored = keychain_.keychainWrite(updated.dump());
            } catch (const nlohmann::json::exception&) {
                stored = false;
            }
            if (!stored) {
                answer(ackId, false, "Could not persist the rotated refresh token");
                return;
            }
        }
        auto expiresIn = reply.find("expires_in");
        const double lifetime =
            expiresIn != reply.end() && expiresIn->is_number() ? expiresIn->get<double>() : 60.0;
        const nlohmann::json payload = {
            {"accessToken", accessToken},
            {"expiresAt", expiryMilliseconds(lifetime, nowSeconds_())},
        };
        answer(ackId, true, payload.dump());
        return;
    }
    char text[64];
    std::snprintf(text, sizeof text, "Token refresh failed (HTTP %ld)", response.status);
    answer(ackId, false, text);
}
