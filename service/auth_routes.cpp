// The auth host: sign-in for the demo account, the token endpoint, and the creations API
// behind "Authorization: Bearer".
#include <string>
#include <variant>

#include "panel/service/service_hosts.h"
#include "service/effects.h"
#include "service/query_text.h"
#include "service/reference_service.h"
#include "service/upload_signature.h"

namespace {

constexpr char kUploadType[] = "image/png";
constexpr char kBucket[] = "/lumivo-uploads/";
constexpr char kCreationsPath[] = "/api/creations/";

// A JSON object body, or a discarded value when the body is anything else.
nlohmann::json jsonObject(const std::string& body) {
    nlohmann::json value = nlohmann::json::parse(body, nullptr, false);
    return value.is_object() ? value : nlohmann::json(nlohmann::json::value_t::discarded);
}

std::string stringMember(const nlohmann::json& object, const char* name) {
    auto found = object.find(name);
    return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

bool isIdText(const std::string& text) {
    if (text.empty() || text.size() > 64) {
        return false;
    }
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || c == '-')) {
            return false;
        }
    }
    return true;
}

}  // namespace

void ReferenceService::serveAuth(HttpExchange& exchange) {
    const std::string& path = exchange.path();
    if (path == "/oauth/token") {
        serveToken(exchange);
        return;
    }
    if (path == "/api/sign-in") {
        serveSignIn(exchange);
        return;
    }
    if (path == "/autotest/received" && record_.enabled() && exchange.method() == "POST") {
        record_.pageReceived(exchange.body());
        exchange.reply(204, "text/plain", "");
        return;
    }
    if (path.rfind("/api/", 0) != 0) {
        exchange.reply(404, "text/plain", "Not found.\n");
        return;
    }
    std::optional<std::string> account = tokens_.accountFor(exchange.bearerToken(), now());
    if (!account) {
        exchange.setHeader("WWW-Authenticate", "Bearer error=\"invalid_token\"");
        exchange.replyError(401, "invalid_token", "Sign in again: the access token is not valid.");
        return;
    }
    serveCreationsApi(exchange, *account);
}

void ReferenceService::serveSignIn(HttpExchange& exchange) {
    const nlohmann::json request = jsonObject(exchange.body());
    if (exchange.method() != "POST" || request.is_discarded()) {
        exchange.replyError(400, "invalid_request", "Send the email and password as JSON.");
        return;
    }
    std::optional<std::string> refreshToken =
        tokens_.signIn(stringMember(request, "email"), stringMember(request, "password"));
    if (!refreshToken) {
        exchange.replyError(401, "invalid_credentials", "Wrong email or password.");
        return;
    }
    record_.refreshToken("sign-in", *refreshToken);
    exchange.replyJson(
        200, {{"refreshToken", *refreshToken},
              {"tokenEndpoint", std::string("https://") + service_hosts::kAuth + "/oauth/token"},
              {"clientId", tokens_.settings().clientId},
              {"account", tokens_.settings().email}});
}

void ReferenceService::serveToken(HttpExchange& exchange) {
    if (exchange.method() != "POST" ||
        exchange.header("Content-Type").rfind("application/x-www-form-urlencoded", 0) != 0) {
        exchange.replyError(400, "invalid_request", "Post the grant as a form.");
        return;
    }
    if (exchange.header("X-Tessor-Client").empty()) {
        exchange.replyError(400, "invalid_request", "The client header is missing.");
        return;
    }
    std::optional<std::map<std::string, std::string>> form = query_text::parse(exchange.body());
    if (!form || (*form)["grant_type"] != "refresh_token" || (*form)["refresh_token"].empty()) {
        exchange.replyError(400, "invalid_request", "Only the refresh-token grant is served.");
        return;
    }
    auto outcome = tokens_.refresh((*form)["client_id"], (*form)["refresh_token"], now());
    if (auto* refusal = std::get_if<TokenStore::Refusal>(&outcome)) {
        if (*refusal == TokenStore::Refusal::invalidClient) {
            exchange.replyError(401, "invalid_client", "Unknown client.");
        } else {
            exchange.replyError(400, "invalid_grant", "The refresh token is not valid.");
        }
        return;
    }
    const auto& grant = std::get<TokenStore::Grant>(outcome);
    record_.refreshToken("rotated", grant.refreshToken);
    exchange.setHeader("Cache-Control", "no-store");
    exchange.replyJson(200, {{"access_token", grant.accessToken},
                             {"token_type", "Bearer"},
                             {"expires_in", grant.expiresIn},
                             {"refresh_token", grant.refreshToken}});
}

void ReferenceService::serveCreationsApi(HttpExchange& exchange, const std::string& account) {
    const std::string& path = exchange.path();
    const std::string& method = exchange.method();
    if (path == "/api/effects" && method == "GET") {
        nlohmann::json list = nlohmann::json::array();
        for (const effects::Effect& effect : effects::all()) {
            list.push_back(
                {{"id", effect.id}, {"label", effect.label}, {"transparent", effect.transparent}});
        }
        exchange.replyJson(200, {{"effects", list}, {"account", tokens_.settings().email}});
    } else if (path == "/api/uploads" && method == "POST") {
        serveUploadSlot(exchange, account);
    } else if (path == "/api/creations" && method == "POST") {
        serveNewCreation(exchange, account);
    } else if (path.rfind(kCreationsPath, 0) == 0 && method == "GET") {
        serveCreationState(exchange, account, path.substr(sizeof(kCreationsPath) - 1));
    } else {
        exchange.reply(404, "text/plain", "Not found.\n");
    }
}

void ReferenceService::serveUploadSlot(HttpExchange& exchange, const std::string& account) {
    const nlohmann::json request = jsonObject(exchange.body());
    if (request.is_discarded() || stringMember(request, "contentType") != kUploadType) {
        exchange.replyError(400, "invalid_request", "Uploads are PNG images.");
        return;
    }
    const std::string objectId = randomHex(12);
    const std::string path = kBucket + objectId;
    const int64_t expires = now() + settings_.uploadUrlLifetimeSeconds;
    bucket_.reserve(objectId, account, kUploadType);
    const std::string url = std::string("https://") + service_hosts::kCloudStorage + path + "?" +
                            upload_signature::kExpiresParameter + "=" + std::to_string(expires) +
                            "&" + upload_signature::kSignatureParameter + "=" +
                            upload_signature::sign(signingKey_, "PUT", path, kUploadType, expires);
    exchange.replyJson(201, {{"objectId", objectId},
                             {"uploadUrl", url},
                             {"contentType", kUploadType},
                             {"expiresAt", expires},
                             {"maxBytes", settings_.uploadLimitBytes}});
}

void ReferenceService::serveNewCreation(HttpExchange& exchange, const std::string& account) {
    const nlohmann::json request = jsonObject(exchange.body());
    const std::string objectId = stringMember(request, "objectId");
    const std::string effect = stringMember(request, "effect");
    if (request.is_discarded() || !effects::exists(effect)) {
        exchange.replyError(400, "invalid_request", "Name an uploaded object and an effect.");
        return;
    }
    const StorageBucket::Object* object = bucket_.find(objectId);
    if (object == nullptr || object->account != account) {
        exchange.replyError(404, "not_found", "There is no such upload.");
        return;
    }
    if (!object->bytes) {
        exchange.replyError(409, "not_uploaded", "The upload has not arrived yet.");
        return;
    }
    const std::string id = "c-" + randomHex(12);
    creations_.add(id, account, effect);
    startWork(id, object->bytes, effect);
    exchange.replyJson(201, {{"id", id}, {"state", "queued"}, {"progress", 0}});
}

void ReferenceService::serveCreationState(HttpExchange& exchange, const std::string& account,
                                          const std::string& id) {
    const CreationBoard::Creation* creation = isIdText(id) ? creations_.find(id, account) : nullptr;
    if (creation == nullptr) {
        exchange.replyError(404, "not_found", "There is no such creation.");
        return;
    }
    nlohmann::json state = {{"id", id},
                            {"effect", creation->effect},
                            {"state", stateName(creation->state)},
                            {"progress", creation->progress}};
    if (creation->state == CreationBoard::State::done) {
        state["resultUrl"] =
            std::string("https://") + service_hosts::kCdn + "/results/" + id + ".png";
    } else if (creation->state == CreationBoard::State::failed) {
        state["reason"] = creation->reason;
    }
    exchange.replyJson(200, state);
}
