// Sign-in, rotation on every refresh, and the lifetime of access tokens.
#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "service/token_store.h"

namespace {

constexpr int64_t kNow = 1'700'000'000;

class TokenStoreTest : public ::testing::Test {
  protected:
    TokenStore store{{"client", 60, "demo@example", "secret"},
                     [this] { return "t" + std::to_string(++issued); }};
    int issued = 0;

    std::string signIn() { return store.signIn("demo@example", "secret").value(); }
    TokenStore::Grant grant(const std::string& token, int64_t now = kNow) {
        auto outcome = store.refresh("client", token, now);
        EXPECT_TRUE(std::holds_alternative<TokenStore::Grant>(outcome));
        return std::get<TokenStore::Grant>(outcome);
    }
    bool refused(const std::string& client, const std::string& token, TokenStore::Refusal why) {
        auto outcome = store.refresh(client, token, kNow);
        auto* refusal = std::get_if<TokenStore::Refusal>(&outcome);
        return refusal != nullptr && *refusal == why;
    }
};

TEST_F(TokenStoreTest, SignsInOnlyTheDemoAccount) {
    EXPECT_FALSE(store.signIn("demo@example", "wrong"));
    EXPECT_FALSE(store.signIn("other@example", "secret"));
    EXPECT_FALSE(store.signIn("", ""));
    EXPECT_TRUE(store.signIn("demo@example", "secret"));
}

TEST_F(TokenStoreTest, EveryRefreshRotatesTheRefreshToken) {
    const std::string first = signIn();
    const TokenStore::Grant one = grant(first);
    EXPECT_NE(one.refreshToken, first);
    EXPECT_EQ(one.expiresIn, 60);

    const TokenStore::Grant two = grant(one.refreshToken);
    EXPECT_NE(two.refreshToken, one.refreshToken);
    EXPECT_NE(two.accessToken, one.accessToken);
    // Both access tokens stay good for their lifetime: rotation revokes refresh tokens only.
    EXPECT_EQ(store.accountFor(one.accessToken, kNow), "demo");
    EXPECT_EQ(store.accountFor(two.accessToken, kNow), "demo");
}

TEST_F(TokenStoreTest, AReusedRefreshTokenRevokesItsWholeSignInAndNoOther) {
    const std::string first = signIn();
    const TokenStore::Grant one = grant(first);
    const TokenStore::Grant two = grant(one.refreshToken);
    const TokenStore::Grant elsewhere = grant(signIn());  // another sign-in of the same account

    // Each used token of the family, presented again, is refused and ends the family.
    for (const std::string& reused : {first, one.refreshToken}) {
        EXPECT_TRUE(refused("client", reused, TokenStore::Refusal::invalidGrant)) << reused;
    }
    EXPECT_TRUE(refused("client", two.refreshToken, TokenStore::Refusal::invalidGrant))
        << "the family's newest refresh token";
    EXPECT_FALSE(store.accountFor(one.accessToken, kNow));
    EXPECT_FALSE(store.accountFor(two.accessToken, kNow));

    EXPECT_EQ(store.accountFor(elsewhere.accessToken, kNow), "demo");
    grant(elsewhere.refreshToken);
    grant(signIn());  // and the user can sign in again
}

TEST_F(TokenStoreTest, ClientIsJudgedBeforeTheTokenAndRevokesNothing) {
    const std::string token = signIn();
    EXPECT_TRUE(refused("intruder", token, TokenStore::Refusal::invalidClient));
    EXPECT_TRUE(refused("intruder", "unknown", TokenStore::Refusal::invalidClient));
    EXPECT_TRUE(refused("client", "unknown", TokenStore::Refusal::invalidGrant));
    EXPECT_TRUE(refused("client", "", TokenStore::Refusal::invalidGrant));
    grant(token);  // still valid after the refused attempts
}

TEST_F(TokenStoreTest, AccessTokensEndAfterTheirLifetime) {
    const TokenStore::Grant g = grant(signIn());
    EXPECT_EQ(store.accountFor(g.accessToken, kNow + 59), "demo");
    EXPECT_FALSE(store.accountFor(g.accessToken, kNow + 60));
    EXPECT_FALSE(store.accountFor("", kNow));
    EXPECT_FALSE(store.accountFor(g.refreshToken, kNow)) << "a refresh token is no access token";
    // Expired tokens are forgotten as new ones are issued; the new one works.
    const TokenStore::Grant later = grant(g.refreshToken, kNow + 120);
    EXPECT_FALSE(store.accountFor(g.accessToken, kNow + 120));
    EXPECT_EQ(store.accountFor(later.accessToken, kNow + 120), "demo");
}

TEST_F(TokenStoreTest, AFloodOfSignInsForgetsTheOldestFirst) {
    const std::string oldest = signIn();
    std::string newest;
    for (int i = 0; i < 1100; ++i) {  // more than the store keeps
        newest = signIn();
    }
    EXPECT_TRUE(refused("client", oldest, TokenStore::Refusal::invalidGrant));
    grant(newest);
}

}  // namespace
