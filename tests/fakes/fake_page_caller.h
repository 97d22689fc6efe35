#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "panel/bridge/page_caller.h"

// Records every page call as (name, arguments). Any thread.
struct FakePageCaller final : PageCaller {
    struct Call {
        std::string name;
        nlohmann::json arguments;
    };
    std::mutex mutex;
    std::vector<Call> calls;

    void callAck(const std::string& name, const nlohmann::json& arguments) override {
        std::lock_guard lock(mutex);
        calls.push_back({name, arguments});
    }
    std::vector<Call> taken() {
        std::lock_guard lock(mutex);
        return std::exchange(calls, {});
    }
};
