#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "panel/bridge/page_caller.h"
#include "platform/http.h"
#include "platform/keychain.h"
#include "platform/task_queue.h"

// The sign-in record in the keychain and the refresh of access tokens from it. Main thread only:
// each network answer is handed back to the main queue before it touches the keychain or the
// generation, so every decision happens on one thread, in order.
class AuthService {
  public:
    // `nowSeconds` is the current time in seconds since 1970 (with its fraction).
    AuthService(PageCaller& page, TaskQueue& main, Keychain& keychain, HttpTransport& http,
                std::function<double()> nowSeconds);
    AuthService(const AuthService&) = delete;
    AuthService& operator=(const AuthService&) = delete;

    void handleAuthSave(const nlohmann::json& ackId, const nlohmann::json& message);
    void signOut(const nlohmann::json& ackId);
    void handleAuthRefresh(const nlohmann::json& ackId);

    // Raised by every successful save and every sign-out of this run. A refresh started under
    // an older generation neither stores nor deletes anything and answers "null".
    int64_t authGeneration() const { return authGeneration_; }

  private:
    void finishRefresh(const nlohmann::json& ackId, const nlohmann::json& record,
                       int64_t generation, const HttpResponse& response);
    void answer(const nlohmann::json& ackId, bool ok, const std::string& text);

    PageCaller& page_;
    TaskQueue& main_;
    Keychain& keychain_;
    HttpTransport& http_;
    std::function<double()> nowSeconds_;
    int64_t authGeneration_ = 0;
    // Answers that arrive after this service is gone find the token expired and are dropped.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// Idle time-out of a token request, as the platform's default request time-out.
inline constexpr std::chrono::seconds kRefreshIdleTimeout{60};
// Largest token response read; a longer one fails like a transport error.
inline constexpr size_t kMaxTokenResponseBytes = 1 << 20;
