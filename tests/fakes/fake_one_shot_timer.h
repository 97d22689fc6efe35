#pragma once

#include <optional>
#include <utility>

#include "platform/one_shot_timer.h"

// A timer whose time passes only when the test fires it.
struct FakeOneShotTimer final : OneShotTimer {
    std::optional<double> pendingSeconds;
    std::function<void()> task;

    void start(double seconds, std::function<void()> callback) override {
        pendingSeconds = seconds;
        task = std::move(callback);
    }
    void cancel() override {
        pendingSeconds.reset();
        task = nullptr;
    }
    // The delay has passed: the pending task, if any, runs.
    void fire() {
        std::function<void()> once = std::move(task);
        cancel();
        if (once) {
            once();
        }
    }
};
