#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>

// The demo account's sign-in, its refresh tokens and its access tokens. Every refresh rotates:
// the refresh token it answers replaces the one presented, which is revoked at once. All tokens
// that descend from one sign-in are a family: a revoked refresh token presented again means it
// leaked, so the whole family goes (its refresh and access tokens alike) and the user signs in
// again. Access tokens end after a fixed lifetime. Memory is bounded: the oldest tokens are
// forgotten first. Main thread only.
class TokenStore {
  public:
    struct Settings {
        std::string clientId;
        int64_t accessLifetimeSeconds = 3600;
        std::string email;
        std::string password;
    };
    struct Grant {
        std::string accessToken;
        int64_t expiresIn = 0;
        std::string refreshToken;
    };
    enum class Refusal { invalidClient, invalidGrant };

    // `randomToken` makes one fresh, unguessable token per call.
    TokenStore(Settings settings, std::function<std::string()> randomToken);

    // A refresh token for the account when the email and password are the demo account's.
    std::optional<std::string> signIn(const std::string& email, const std::string& password);

    // The refresh-token grant. The client is judged before the token. A token that was already
    // used revokes its whole family.
    std::variant<Grant, Refusal> refresh(const std::string& clientId,
                                         const std::string& refreshToken, int64_t now);

    // The account an access token belongs to while it is unexpired.
    std::optional<std::string> accountFor(const std::string& accessToken, int64_t now) const;

    const Settings& settings() const { return settings_; }

  private:
    struct Refresh {
        std::string account;
        uint64_t family = 0;
        bool used = false;  // rotated away: kept only to notice a second use
    };
    struct Access {
        std::string account;
        int64_t expiresAt = 0;
        uint64_t family = 0;
    };
    std::string issueRefresh(const std::string& account, uint64_t family);
    void revokeFamily(uint64_t family);
    void forgetExpired(int64_t now);

    Settings settings_;
    std::function<std::string()> randomToken_;
    uint64_t lastFamily_ = 0;
    std::map<std::string, Refresh> refreshTokens_;
    std::deque<std::string> refreshOrder_;  // oldest first, revoked ones included
    std::map<std::string, Access> accessTokens_;
    std::deque<std::string> accessOrder_;
};
