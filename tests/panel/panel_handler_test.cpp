#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "panel/bridge/base64.h"
#include "panel/bridge/page_scripts.h"
#include "panel/bridge/script_message.h"
#include "panel_test_support.h"

namespace {

using nlohmann::json;

// Records every forwarded request as one JSON line: [method, arguments...].
struct RecordingModules final : ApplyRequests,
                                ServiceRequests,
                                NotificationRequests,
                                TransferRequests {
    std::vector<json> calls;
    std::vector<ResultProducer> producers;

    void handleApplyResult(const json& ackId, std::string base64) override {
        calls.push_back({"applyResult", pageAckId(ackId), base64});
    }
    void handleApplyResultFrom(const json& ackId, ResultProducer produce) override {
        calls.push_back({"applyResultFrom", pageAckId(ackId)});
        producers.push_back(std::move(produce));
    }
    void handleAccessibilityRepair(const json& ackId) override {
        calls.push_back({"accessibilityRepair", pageAckId(ackId)});
    }
    void handleUploadFrame(const json& ackId, const json& url, const json& contentType,
                           const json& frame) override {
        calls.push_back({"uploadFrame", pageAckId(ackId), url, contentType, frame});
    }
    void handleApplyUrl(const json& ackId, const json& url) override {
        calls.push_back({"applyUrl", pageAckId(ackId), url});
    }
    void handleUploadPut(const json& ackId, const json& url, const json& contentType,
                         const json& base64) override {
        calls.push_back({"uploadPut", pageAckId(ackId), url, contentType, base64});
    }
    void handleOpenExternal(const json& url) override { calls.push_back({"openExternal", url}); }
    void handleAuthSave(const json& ackId, const json& message) override {
        calls.push_back({"authSave", pageAckId(ackId), message});
    }
    void handleAuthRefresh(const json& ackId) override {
        calls.push_back({"authRefresh", pageAckId(ackId)});
    }
    void signOut(const json& ackId) override { calls.push_back({"signOut", pageAckId(ackId)}); }
    void handleNotify(const json& id, const json& title, const json& body) override {
        calls.push_back({"notify", id, title, body});
    }
};

struct WiredRig : HandlerRig {
    RecordingModules modules;
    WiredRig() {
        handler.setModules(&modules, &modules, &modules);
        handler.setTransfers(&modules);
    }
};

TEST(Dispatch, RoutesEachTypeWithItsMembersAndDefaultsOrAnswersFailureWhenUnwired) {
    const json authSave = {{"type", "auth-save"}, {"ackId", "s"}, {"refreshToken", "r"}};
    struct Case {
        json message;
        json routed;   // the module call
        json unwired;  // the page's answer without modules: [name, arguments], or none
    };
    const std::vector<Case> cases = {
        {{{"type", "upload-put"}, {"ackId", "u"}, {"url", "https://x"}, {"base64", 5}},
         {"uploadPut", "u", "https://x", "", 5},
         {"__lumivoUploadAck", {"u", false, 0}}},
        {{{"type", "accessibility-repair"}, {"ackId", "a"}},
         {"accessibilityRepair", "a"},
         {"__lumivoAccessibilityAck", {"a", false}}},
        {{{"type", "open-external"}, {"ackId", "o"}, {"url", "https://y"}},
         {"openExternal", "https://y"},
         nullptr},
        {{{"type", "open-external"}}, {"openExternal", ""}, nullptr},
        {{{"type", "notify"}, {"ackId", "n"}, {"id", "c1"}, {"title", "T"}},
         {"notify", "c1", "T", ""},
         nullptr},
        {authSave, {"authSave", "s", authSave}, {"__lumivoAuthAck", {"s", false, "unavailable"}}},
        {{{"type", "auth-refresh"}, {"ackId", 9}},
         {"authRefresh", 9},
         {"__lumivoAuthAck", {9, false, "unavailable"}}},
        {{{"type", "auth-sign-out"}},
         {"signOut", ""},
         {"__lumivoAuthAck", {"", false, "unavailable"}}},
        {{{"type", "apply-result"}, {"ackId", "r"}, {"base64", "ignored"}},
         {"applyResult", "r", ""},
         {"__lumivoImportAck", {"r", false, ""}}},
        {{{"type", "upload-frame"}, {"ackId", "f"}, {"url", "https://x"}, {"frame", 3}},
         {"uploadFrame", "f", "https://x", "", 3},
         {"__lumivoUploadAck", {"f", false, 0}}},
        {{{"type", "apply-url"}, {"ackId", "d"}, {"url", 7}},
         {"applyUrl", "d", 7},
         {"__lumivoImportAck", {"d", false, ""}}},
        {{{"type", "apply-look"}, {"ackId", "l"}, {"look", {{"steps", json::array()}}}},
         {"applyResultFrom", "l"},
         {"__lumivoImportAck", {"l", false, ""}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.dump());
        WiredRig rig;
        rig.post(c.message);
        rig.drain();
        EXPECT_EQ(rig.modules.calls, std::vector<json>{c.routed});
        EXPECT_TRUE(rig.webView->scripts.empty());

        HandlerRig unwired;
        unwired.post(c.message);
        unwired.drain();
        std::vector<json> answers;
        for (const auto& call : unwired.pageCalls()) {
            answers.push_back({call.name, call.arguments});
        }
        EXPECT_EQ(answers,
                  c.unwired.is_null() ? std::vector<json>{} : std::vector<json>{c.unwired});
    }
}

TEST(Dispatch, DropsBodiesThatAreNotRequests) {
    const std::vector<json> dropped = {
        "export-frame",
        json::array({"export-frame"}),
        42,
        nullptr,
        json::object(),
        {{"type", 7}},
        {{"type", "Export-Frame"}},
        {{"type", "DEBUG-LOG"}, {"message", "x"}},
        {{"type", "export-frame "}},
        {{"type", "apply-result-chunks"}, {"chunk", "x"}},
    };
    for (const auto& body : dropped) {
        WiredRig rig;
        rig.post(body);
        rig.drain();
        EXPECT_TRUE(rig.modules.calls.empty()) << body;
        EXPECT_TRUE(rig.webView->scripts.empty()) << body;
        EXPECT_TRUE(rig.logLines.empty()) << body;
        EXPECT_TRUE(rig.encoded.empty()) << body;
    }
}

TEST(Dispatch, ExportWithoutAckIdAnswersWithTheEmptyString) {
    HandlerRig rig;
    rig.post({{"type", "export-frame"}});
    rig.drain();
    auto calls = rig.pageCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].name, "__lumivoFrameChunk");
    EXPECT_EQ(calls[0].arguments[0], "");
    EXPECT_EQ(calls[1].name, "__lumivoFrameAck");
    EXPECT_EQ(calls[1].arguments, json({"", true, ""}));
}

TEST(Dispatch, DebugLogWritesOneLineWhateverTheMessage) {
    HandlerRig rig;
    rig.post({{"type", "debug-log"}, {"message", "error: x @y:3"}});
    rig.post({{"type", "debug-log"}});
    rig.post({{"type", "debug-log"}, {"message", {{"a", 1}}}});
    EXPECT_EQ(rig.logLines, (std::vector<std::string>{
                                "LumivoPlugin: panel: error: x @y:3",
                                "LumivoPlugin: panel: ", "LumivoPlugin: panel: {\"a\":1}"}));
    rig.drain();
    EXPECT_TRUE(rig.webView->scripts.empty());
}

TEST(ApplyChunks, JoinsPiecesInArrivalOrderAndForgetsThemOnApply) {
    WiredRig rig;
    rig.post({{"type", "apply-result-chunk"}, {"ackId", "a"}, {"chunk", "AAA"}});
    rig.post({{"type", "apply-result-chunk"}, {"ackId", "b"}, {"chunk", "b1"}});
    rig.post({{"type", "apply-result-chunk"}, {"ackId", "a"}, {"chunk", ""}});
    rig.post({{"type", "apply-result-chunk"}, {"ackId", "b"}, {"chunk", "b2"}});
    rig.post({{"type", "apply-result-chunk"}, {"ackId", "a"}});
    rig.post({{"type", "apply-result-chunk"}, {"ackId", "a"}, {"chunk", 12}});  // not text
    rig.post({{"type", "apply-result-chunk"}, {"ackId", 1}, {"chunk", "number"}});
    rig.post({{"type", "apply-result-chunk"}, {"ackId", "1"}, {"chunk", "text"}});
    rig.post({{"type", "apply-result"}, {"ackId", "a"}});
    rig.post({{"type", "apply-result"}, {"ackId", "a"}});
    rig.post({{"type", "apply-result"}, {"ackId", "b"}});
    rig.post({{"type", "apply-result"}, {"ackId", 1}});
    rig.post({{"type", "apply-result"}, {"ackId", "1"}});
    rig.post({{"type", "apply-result"}});
    EXPECT_EQ(rig.modules.calls, (std::vector<json>{
                                     {"applyResult", "a", "AAA"},
                                     {"applyResult", "a", ""},
                                     {"applyResult", "b", "b1b2"},
                                     {"applyResult", 1, "number"},
                                     {"applyResult", "1", "text"},
                                     {"applyResult", "", ""},
                                 }));
}

TEST(ApplyChunks, AResultTooLongForAnyPngOfTheFrameIsDropped) {
    // The frame is 2 x 1: its results may take the floor, 16 MiB of PNG, and no more.
    WiredRig rig;
    const size_t limit = ResultChunks::maxCharactersFor(2, 1);
    const std::string piece(4 << 20, 'A');
    for (size_t sent = 0; sent <= limit; sent += piece.size()) {
        rig.post({{"type", "apply-result-chunk"}, {"ackId", "flood"}, {"chunk", piece}});
    }
    rig.post({{"type", "apply-result-chunk"}, {"ackId", "next"}, {"chunk", "AAAA"}});
    rig.post({{"type", "apply-result"}, {"ackId", "flood"}});
    rig.post({{"type", "apply-result"}, {"ackId", "next"}});
    EXPECT_EQ(rig.modules.calls,
              (std::vector<json>{{"applyResult", "flood", ""}, {"applyResult", "next", "AAAA"}}));
}

TEST(CallAck, ArgumentsReachThePageUnchanged) {
    HandlerRig rig;
    const json odd = "quote \" backslash \\ newline \n tab \t line\u2028para\u2029 nul " +
                     std::string(1, '\0') + " é 😀 </script>";
    const json arguments = {"id", true,    false, 200,          -7,
                            3.5,  nullptr, odd,   {{"k", odd}}, json::array({1, "two"})};
    rig.handler.callAck("__lumivoSomething", arguments);
    rig.drain();
    ASSERT_EQ(rig.webView->scripts.size(), 1u);
    const std::string& script = rig.webView->scripts[0];
    // Raw line separators end a string literal in older script parsers.
    EXPECT_EQ(script.find("\u2028"), std::string::npos);
    EXPECT_EQ(script.find("\u2029"), std::string::npos);
    EXPECT_EQ(script.find('\n'), std::string::npos);
    auto calls = rig.pageCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].name, "__lumivoSomething");
    EXPECT_EQ(calls[0].arguments, arguments);
}

TEST(CallAck, EveryAsciiCharacterRoundTripsInEveryLane) {
    // Long plain strings take a fast path that checks sixteen, then eight bytes at a time; a
    // character that needs escaping must be caught in every lane of both and in the tail.
    auto roundTrip = [](const std::string& text) {
        const std::string script = pageCallScript("f", json::array({text}));
        const size_t open = script.find('(');
        return json::parse("[" + script.substr(open + 1, script.size() - open - 2) + "]")[0];
    };
    for (int c = 0; c < 128; ++c) {
        for (size_t position : {0u, 7u, 8u, 15u, 16u, 20u, 23u, 24u, 26u}) {
            std::string text(27, 'A');
            text[position] = static_cast<char>(c);
            EXPECT_EQ(roundTrip(text), text) << c << " at " << position;
        }
    }
    for (size_t position : {0u, 7u, 15u, 19u, 23u, 25u}) {
        std::string text(27, 'A');
        text.replace(position, 2, "\xc3\xa9");
        EXPECT_EQ(roundTrip(text), text) << position;
    }
}

TEST(CallAck, WritesTheDocumentedScript) {
    struct Case {
        json arguments;
        std::string script;
    };
    const std::vector<Case> cases = {
        {json::array(), "window.f && window.f()"},
        {{"a", true, 200}, "window.f && window.f(\"a\",true,200)"},
        {{1, false, ""}, "window.f && window.f(1,false,\"\")"},
        {{nullptr, {{"x", 1}}}, "window.f && window.f(null,{\"x\":1})"},
        {{4.0}, "window.f && window.f(4)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pageCallScript("f", c.arguments), c.script);
    }
}

TEST(CallAck, EvaluatesLaterInOrderAndNotAfterTheViewIsGone) {
    HandlerRig rig;
    rig.handler.callAck("first", json::array());
    rig.handler.callAck("second", json::array());
    EXPECT_TRUE(rig.webView->scripts.empty());  // never inside the call
    rig.mainQueue.runOne();
    rig.handler.callAck("third", json::array());
    std::weak_ptr<FakeWebView> view = rig.webView;
    auto scripts = rig.webView->scripts;
    rig.webView.reset();  // the view is destroyed with calls still queued
    rig.drain();
    EXPECT_TRUE(view.expired());
    ASSERT_EQ(scripts.size(), 1u);
    EXPECT_EQ(HandlerRig::unguarded(scripts[0])->script, "window.first && window.first()");
}

TEST(ScriptMessage, ParsesJsonAndRefusesDeepNesting) {
    EXPECT_EQ(parseScriptMessage(R"({"type":"x","s":"[[[["})"),
              json({{"type", "x"}, {"s", "[[[["}}));
    EXPECT_FALSE(parseScriptMessage("{\"type\":"));
    EXPECT_FALSE(parseScriptMessage(""));
    std::string deep =
        std::string(kMaxScriptMessageDepth + 1, '[') + std::string(kMaxScriptMessageDepth + 1, ']');
    EXPECT_FALSE(parseScriptMessage(deep));
    std::string allowed =
        std::string(kMaxScriptMessageDepth, '[') + std::string(kMaxScriptMessageDepth, ']');
    EXPECT_TRUE(parseScriptMessage(allowed));
}

}  // namespace
