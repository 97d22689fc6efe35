#include "service/token_store.h"

#include <utility>

namespace {

// Enough for every window a person could have open, and for the used tokens of their recent
// refreshes (a reuse is noticed while the used token is remembered); a flood of sign-ins
// forgets the oldest.
constexpr size_t kMaxRefreshTokens = 1024;
constexpr size_t kMaxAccessTokens = 1024;
constexpr char kDemoAccount[] = "demo";

// Forgets the oldest entries of `order` (and their map entries) beyond `limit`.
template <typename Map>
void trim(Map& tokens, std::deque<std::string>& order, size_t limit) {
    while (order.size() > limit) {
        tokens.erase(order.front());
        order.pop_front();
    }
}

}  // namespace

TokenStore::TokenStore(Settings settings, std::function<std::string()> randomToken)
    : settings_(std::move(settings)), randomToken_(std::move(randomToken)) {}

std::optional<std::string> TokenStore::signIn(const std::string& email,
                                              const std::string& password) {
    if (email != settings_.email || password != settings_.password) {
        return std::nullopt;
    }
    return issueRefresh(kDemoAccount, ++lastFamily_);
}

std::variant<TokenStore::Grant, TokenStore::Refusal> TokenStore::refresh(
    const std::string& clientId, const std::string& refreshToken, int64_t now) {
    if (clientId != settings_.clientId) {
        return Refusal::invalidClient;
    }
    auto found = refreshTokens_.find(refreshToken);
    if (found == refreshTokens_.end()) {
        return Refusal::invalidGrant;
    }
    if (found->second.used) {
        // Two holders of one token: the thief's and the user's requests can't be told apart,
        // so neither keeps anything of this sign-in.
        revokeFamily(found->second.family);
        return Refusal::invalidGrant;
    }
    found->second.used = true;
    const std::string account = found->second.account;
    const uint64_t family = found->second.family;

    forgetExpired(now);
    Grant grant;
    grant.accessToken = randomToken_();
    grant.expiresIn = settings_.accessLifetimeSeconds;
    accessTokens_[grant.accessToken] =
        Access{account, now + settings_.accessLifetimeSeconds, family};
    accessOrder_.push_back(grant.accessToken);
    trim(accessTokens_, accessOrder_, kMaxAccessTokens);
    grant.refreshToken = issueRefresh(account, family);
    return grant;
}

std::optional<std::string> TokenStore::accountFor(const std::string& accessToken,
                                                  int64_t now) const {
    auto found = accessTokens_.find(accessToken);
    if (found == accessTokens_.end() || now >= found->second.expiresAt) {
        return std::nullopt;
    }
    return found->second.account;
}

std::string TokenStore::issueRefresh(const std::string& account, uint64_t family) {
    std::string token = randomToken_();
    refreshTokens_[token] = Refresh{account, family, false};
    refreshOrder_.push_back(token);
    trim(refreshTokens_, refreshOrder_, kMaxRefreshTokens);
    return token;
}

void TokenStore::revokeFamily(uint64_t family) {
    // The order lists keep the names; trimming skips what is gone.
    std::erase_if(refreshTokens_,
                  [family](const auto& entry) { return entry.second.family == family; });
    std::erase_if(accessTokens_,
                  [family](const auto& entry) { return entry.second.family == family; });
}

void TokenStore::forgetExpired(int64_t now) {
    while (!accessOrder_.empty()) {
        auto found = accessTokens_.find(accessOrder_.front());
        if (found != accessTokens_.end() && now < found->second.expiresAt) {
            break;  // lifetimes are equal, so the rest expire later
        }
        accessTokens_.erase(accessOrder_.front());
        accessOrder_.pop_front();
    }
}
