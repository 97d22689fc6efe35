#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "fakes/fake_panel_window.h"
#include "fakes/fake_web_view.h"
#include "fakes/manual_queue.h"
#include "panel/bridge/lumivo_panel_handler.h"

// A handler with fake ports, queues the test drains, and a recording encoder.
struct HandlerRig {
    ManualQueue mainQueue;
    ManualQueue exportQueue;
    std::vector<PixelBuffer> encoded;  // every frame the encoder was given
    std::vector<uint8_t> encoderOutput{1, 2, 3};
    std::shared_ptr<FakeWebView> webView = std::make_shared<FakeWebView>();
    std::shared_ptr<FakePanelWindow> window = std::make_shared<FakePanelWindow>();
    PixelBuffer frame{2, 1, std::vector<uint8_t>(8, 7)};
    std::vector<std::string> logLines;
    LumivoPanelHandler handler{mainQueue, exportQueue, [this](const PixelBuffer& image) {
                                   encoded.push_back(image);
                                   return encoderOutput;
                               }};

    HandlerRig() {
        handler.setInput(&frame);
        handler.setWebView(webView);
        handler.setWindow(window);
        handler.setLogSink([this](const std::string& line) { logLines.push_back(line); });
    }

    void drain() {
        while (exportQueue.drain() + mainQueue.drain() > 0) {
        }
    }

    // The token of the document the test's messages come from, unless one is given.
    static constexpr char kDocument[] = "0123456789abcdef0123456789abcdef";

    void post(const nlohmann::json& body, const std::string& document = kDocument) {
        handler.didReceiveScriptMessage(body, document);
    }

    // A script as it runs inside its document guard, and the token the guard asks for ("" when
    // any document of the service may run it); none when the script has no guard.
    struct Guarded {
        std::string document;
        std::string script;
    };
    static std::optional<Guarded> unguarded(const std::string& script) {
        const std::string opening = "if (window.location.protocol === \"https:\" && (";
        const size_t end = script.find(") {");
        if (script.rfind(opening, 0) != 0 || end == std::string::npos || script.back() != '}') {
            return std::nullopt;
        }
        Guarded guarded{"", script.substr(end + 3, script.size() - end - 4)};
        const std::string tokenClause = "window.__lumivoDocument === \"";
        if (size_t token = script.find(tokenClause); token != std::string::npos && token < end) {
            guarded.document = script.substr(token + tokenClause.size(), 32);
        }
        return guarded;
    }

    // The page calls evaluated so far, as (function name, arguments parsed back from the script,
    // the document they were meant for).
    struct PageCall {
        std::string name;
        nlohmann::json arguments;
        std::string document;
    };
    std::vector<PageCall> pageCalls() const {
        std::vector<PageCall> calls;
        for (const auto& guardedScript : webView->scripts) {
            std::optional<Guarded> guarded = unguarded(guardedScript);
            EXPECT_TRUE(guarded) << guardedScript;
            if (!guarded) {
                continue;
            }
            const std::string& script = guarded->script;
            auto guard = script.find(" && window.");
            auto open = script.find('(', guard);
            if (script.rfind("window.", 0) != 0 || guard == std::string::npos ||
                open == std::string::npos || script.back() != ')') {
                continue;  // not a page call (a frame-change script)
            }
            std::string name = script.substr(7, guard - 7);
            EXPECT_EQ(script.substr(guard + 11, open - guard - 11), name) << script;
            std::string arguments = script.substr(open + 1, script.size() - open - 2);
            calls.push_back(
                {name, nlohmann::json::parse("[" + arguments + "]"), guarded->document});
        }
        return calls;
    }
};

// The page's own ack id inside the one a module was given.
inline nlohmann::json pageAckId(const nlohmann::json& bound) {
    return bound.is_object() && bound.contains("lumivo.ackId") ? bound.at("lumivo.ackId") : bound;
}
