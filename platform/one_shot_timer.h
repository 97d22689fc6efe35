#pragma once

#include <functional>

// One task run after a delay on the main thread. Main thread only.
class OneShotTimer {
  public:
    virtual ~OneShotTimer() = default;
    // Runs `task` once, `seconds` from now, unless cancelled or started again first: a pending
    // task is replaced.
    virtual void start(double seconds, std::function<void()> task) = 0;
    virtual void cancel() = 0;
};
