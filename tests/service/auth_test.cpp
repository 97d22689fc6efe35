#include <string>

#include "service/service_test_support.h"

namespace {

using nlohmann::json;

const json kSave = {{"type", "auth-save"},
                    {"ackId", "s"},
                    {"tokenEndpoint", "https://auth.lumivo.example/oauth/token"},
                    {"refreshToken", "rt-1"},
                    {"clientId", "panel"}};

std::string bodyText(const HttpRequest& request) {
    return std::string(request.body.begin(), request.body.end());
}

struct AuthTest : ServiceFixture {
    void saved(const json& message = kSave) {
        module.handleAuthSave("s", message);
        ASSERT_EQ(onlyAnswer("__lumivoAuthAck"), authAck("s", true, ""));
    }
    json storedRecord() { return json::parse(keychain->item.value_or("null")); }
};

TEST_F(AuthTest, SaveAnswersInTheOrderOfItsChecks) {
    const struct {
        json message;
        std::string answer;
    } refused[] = {
        {json::object(), "Token endpoint not allowed"},  // the endpoint is judged first
        {{{"refreshToken", "rt"}}, "Token endpoint not allowed"},
        {{{"tokenEndpoint", "http://auth.lumivo.example/t"}, {"refreshToken", "rt"}},
         "Token endpoint not allowed"},
        {{{"tokenEndpoint", "https://auth.lumivo.example.evil/t"}, {"refreshToken", "rt"}},
         "Token endpoint not allowed"},
        {{{"tokenEndpoint", "https://cdn.lumivo.example/t"}, {"refreshToken", "rt"}},
         "Token endpoint not allowed"},
        {{{"tokenEndpoint", 42}, {"refreshToken", "rt"}}, "Token endpoint not allowed"},
        {{{"tokenEndpoint", "https://lumivo.example/t"}}, "Missing refresh token"},
        {{{"tokenEndpoint", "https://lumivo.example/t"}, {"refreshToken", ""}},
         "Missing refresh token"},
        {{{"tokenEndpoint", "https://lumivo.example/t"}, {"refreshToken", 7}},
         "Missing refresh token"},
        {{{"tokenEndpoint", "https://lumivo.example/t"}, {"refreshToken", "\xff"}},
         "Keychain write failed"},  // can't be written as JSON
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.message.dump(-1, ' ', false, json::error_handler_t::replace));
        module.handleAuthSave("a", c.message);
        EXPECT_EQ(onlyAnswer("__lumivoAuthAck"), authAck("a", false, c.answer));
    }
    EXPECT_FALSE(keychain->item);
    EXPECT_EQ(module.authGeneration(), 0);

    keychain->refuseWrites = true;
    module.handleAuthSave("b", kSave);
    EXPECT_EQ(onlyAnswer("__lumivoAuthAck"), authAck("b", false, "Keychain write failed"));
    EXPECT_EQ(module.authGeneration(), 0);
}

TEST_F(AuthTest, SaveStoresTheEndpointAsWrittenAndSignOutAlwaysSucceeds) {
    module.signOut("o");  // nothing stored: a success all the same
    EXPECT_EQ(onlyAnswer("__lumivoAuthAck"), authAck("o", true, ""));
    EXPECT_EQ(module.authGeneration(), 1);

    json message = {{"tokenEndpoint", "HTTPS://user:pw@AUTH.lumivo.example:444/t?x=1"},
                    {"refreshToken", "r"},
                    {"ackId", 5}};
    module.handleAuthSave(5, message);
    EXPECT_EQ(onlyAnswer("__lumivoAuthAck"), authAck(5, true, ""));
    EXPECT_EQ(storedRecord(),
              (json{{"refreshToken", "r"},
                    {"tokenEndpoint", "HTTPS://user:pw@AUTH.lumivo.example:444/t?x=1"},
                    {"clientId", ""}}));
    EXPECT_EQ(keychain->item->find(' '), std::string::npos);  // compact
    EXPECT_EQ(module.authGeneration(), 2);

    saved();  // a second save replaces the record whole
    EXPECT_EQ(storedRecord()["clientId"], "panel");
    EXPECT_EQ(module.authGeneration(), 3);

    module.signOut("");
    EXPECT_EQ(onlyAnswer("__lumivoAuthAck"), authAck("", true, ""));
    EXPECT_FALSE(keychain->item);
    EXPECT_EQ(module.authGeneration(), 4);
}

TEST_F(AuthTest, RefreshWithoutAUsableRecordAnswersNull) {
    module.handleAuthRefresh("r");
    EXPECT_EQ(onlyAnswer("__lumivoAuthAck"), authAck("r", true, "null"));
    EXPECT_EQ(keychain->deletes, 0);  // nothing stored: nothing deleted

    for (const char* data :
         {"not json", "[1]", R"({"tokenEndpoint":"https://evil.example/t","refreshToken":"x"})",
          R"({"refreshToken":"x"})"}) {
        SCOPED_TRACE(data);
        keychain->item = data;
        module.handleAuthRefresh("r");
        EXPECT_EQ(onlyAnswer("__lumivoAuthAck"), authAck("r", true, "null"));
        EXPECT_FALSE(keychain->item);
    }
    EXPECT_TRUE(http->sent.empty());  // nobody was contacted
}

TEST_F(AuthTest, RefreshSendsTheGrantWithExactlyTwoHeaders) {
    keychain->item =
        R"({"clientId":"a b","tokenEndpoint":"https:\/\/auth.lumivo.example\/t","refreshToken":"x+y/z="})";
    module.handleAuthRefresh("r");
    ASSERT_EQ(http->sent.size(), 1u);
    const HttpRequest& request = http->sent[0].request;
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.url.text(), "https://auth.lumivo.example/t");
    EXPECT_EQ(request.headers, (std::vector<std::pair<std::string, std::string>>{
                                   {"Content-Type", "application/x-www-form-urlencoded"},
                                   {"X-Tessor-Client", "plugin:affinity"}}));
    EXPECT_EQ(bodyText(request),
              "grant_type=refresh_token&client_id=a%20b&refresh_token=x%2By%2Fz%3D");
    EXPECT_EQ(request.idleTimeout, std::chrono::seconds(60));

    keychain->item = R"({"tokenEndpoint":"https://lumivo.example/t"})";
    module.handleAuthRefresh("r2");
    EXPECT_EQ(bodyText(http->sent[1].request),
              "grant_type=refresh_token&client_id=&refresh_token=");
}

TEST_F(AuthTest, RefreshAnswersFollowTheirOrder) {
    const struct {
        long status;
        std::string body;
        bool ok;
        std::string text;
        bool recordKept;
    } cases[] = {
        {200, R"({"access_token":"A","error":"invalid_grant"})", true, "null", false},
        {400, R"({"error":"invalid_grant"})", true, "null", false},
        {400, R"({"error":"invalid_request"})", false, "Token refresh failed (HTTP 400)", true},
        {201, R"({"access_token":"A","expires_in":10})", false, "Token refresh failed (HTTP 201)",
         true},
        {200, R"({"access_token":""})", false, "Token refresh failed (HTTP 200)", true},
        {200, R"({"token":"A"})", false, "Token refresh failed (HTTP 200)", true},
        {200, R"({"access_token":5})", false, "Token refresh failed (HTTP 200)", true},
        {503, "<html>busy</html>", false, "Token refresh failed (HTTP 503)", true},
        {200, "", false, "Token refresh failed (HTTP 200)", true},
        {200, R"(["access_token"])", false, "Token refresh failed (HTTP 200)", true},
        {200, R"({"access_token":"A","expires_in":3600})", true,
         R"({"accessToken":"A","expiresAt":1700003600000})", true},
        {200, R"({"access_token":"A"})", true, R"({"accessToken":"A","expiresAt":1700000060000})",
         true},
        {200, R"({"access_token":"A","expires_in":"3600"})", true,
         R"({"accessToken":"A","expiresAt":1700000060000})", true},
        {200, R"({"access_token":"A","expires_in":3600.5})", true,
         R"({"accessToken":"A","expiresAt":1700003600500})", true},
        {200, R"({"access_token":"A","expires_in":1e300})", true,
         R"({"accessToken":"A","expiresAt":9223372036854775807})", true},
        {-1, "Couldn't connect to server", false, "Couldn't connect to server", true},  // transport
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        keychain->item.reset();
        saved();
        module.handleAuthRefresh("r");
        c.status < 0 ? http->fail(c.body) : http->answer(c.status, c.body);
        EXPECT_TRUE(page.taken().empty()) << "the answer waits for the main queue";
        EXPECT_EQ(onlyAnswer("__lumivoAuthAck"), authAck("r", c.ok, c.text));
        EXPECT_EQ(keychain->item.has_value(), c.recordKept);
    }
}

TEST_F(AuthTest, RotationReplacesOnlyTheRefreshToken) {
    saved();
    module.handleAuthRefresh("r");
    http->answer(200, R"({"access_token":"A","refresh_token":"rt-2"})");
    EXPECT_EQ(onlyAnswer("__lumivoAuthAck")[1], true);
    EXPECT_EQ(storedRecord(), (json{{"refreshToken", "rt-2"},
                                    {"tokenEndpoint", "https://auth.lumivo.example/oauth/token"},
                                    {"clientId", "panel"}}));

    const int writes = keychain->writes;
    module.handleAuthRefresh("r");
    http->answer(200, R"({"access_token":"A","refresh_token":17})");  // not a string: ignored
    EXPECT_EQ(onlyAnswer("__lumivoAuthAck")[1], true);
    EXPECT_EQ(keychain->writes, writes);

    keychain->refuseWrites = true;
    module.handleAuthRefresh("r");
    http->answer(200, R"({"access_token":"A","refresh_token":"rt-3"})");
    EXPECT_EQ(onlyAnswer("__lumivoAuthAck"),
              authAck("r", false, "Could not persist the rotated refresh token"));
    EXPECT_EQ(storedRecord()["refreshToken"], "rt-2");
}

TEST_F(AuthTest, ASignOutOrANewSaveDuringARefreshDropsItsResult) {
    json second = kSave;
    second["refreshToken"] = "rt-new";
    for (bool signOut : {true, false}) {
        SCOPED_TRACE(signOut ? "sign-out" : "new save");
        saved();
        module.handleAuthRefresh("grant");
        module.handleAuthRefresh("success");
        if (signOut) {
            module.signOut("o");
            EXPECT_EQ(onlyAnswer("__lumivoAuthAck"), authAck("o", true, ""));
        } else {
            saved(second);
        }
        const int deletes = keychain->deletes;
        http->answer(400, R"({"error":"invalid_grant"})");
        EXPECT_EQ(onlyAnswer("__lumivoAuthAck"), authAck("grant", true, "null"));
        http->answer(200, R"({"access_token":"A","refresh_token":"rt-rotated"})");
        EXPECT_EQ(onlyAnswer("__lumivoAuthAck"), authAck("success", true, "null"));
        EXPECT_EQ(keychain->deletes, deletes);  // the late refusal deleted nothing
        // The rotated token neither brought the record back nor replaced the new one.
        if (signOut) {
            EXPECT_FALSE(keychain->item);
        } else {
            EXPECT_EQ(storedRecord()["refreshToken"], "rt-new");
        }
    }
}

TEST_F(AuthTest, AnswersMayArriveInAnyOrder) {
    saved();
    module.handleAuthRefresh("first");
    module.handleAuthRefresh("second");
    EXPECT_EQ(bodyText(http->sent[0].request), bodyText(http->sent[1].request));
    auto first = std::move(http->sent.front());
    http->sent.pop_front();
    http->answer(200, R"({"access_token":"B"})");
    EXPECT_EQ(onlyAnswer("__lumivoAuthAck")[0], "second");
    HttpResponse late;
    late.status = 200;
    late.body = R"({"access_token":"A"})";
    first.done(late);
    EXPECT_EQ(onlyAnswer("__lumivoAuthAck")[0], "first");
}

}  // namespace
