#pragma once

#include <memory>
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

    void post(const nlohmann::json& body) { handler.didReceiveScriptMessage(body); }

    // The page calls evaluated so far, as (function name, arguments parsed back from the script).
    struct PageCall {
        std::string name;
        nlohmann::json arguments;
    };
    std::vector<PageCall> pageCalls() const {
        std::vector<PageCall> calls;
        for (const auto& script : webView->scripts) {
            auto guard = script.find(" && window.");
            auto open = script.find('(', guard);
            if (script.rfind("window.", 0) != 0 || guard == std::string::npos ||
                open == std::string::npos || script.back() != ')') {
                continue;  // not a page call (a frame-change script)
            }
            std::string name = script.substr(7, guard - 7);
            EXPECT_EQ(script.substr(guard + 11, open - guard - 11), name) << script;
            std::string arguments = script.substr(open + 1, script.size() - open - 2);
            calls.push_back({name, nlohmann::json::parse("[" + arguments + "]")});
        }
        return calls;
    }
};
