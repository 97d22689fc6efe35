#pragma once

#include <utility>

#include "platform/process_exits.h"

// The process being watched and its callback, as plain data; the test ends the process.
struct FakeProcessExits final : ProcessExits {
    pid_t watched = 0;
    Ended ended;
    int watches = 0;

    void watch(pid_t pid, Ended callback) override {
        ++watches;
        watched = pid;
        ended = pid > 0 ? std::move(callback) : nullptr;
    }
    // The watched process ends: its callback runs once.
    void end() {
        Ended once = std::move(ended);
        ended = nullptr;
        if (once) {
            once();
        }
    }
};
