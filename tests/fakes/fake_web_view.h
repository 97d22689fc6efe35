#pragma once

#include <string>
#include <vector>

#include "platform/web_view.h"

// A web view that records every script it is asked to evaluate, in order.
struct FakeWebView final : WebView {
    std::vector<std::string> scripts;

    void evaluate(std::string script) override { scripts.push_back(std::move(script)); }
};
