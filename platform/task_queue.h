#pragma once

#include <functional>

// A place where code runs: the main loop, the serial apply worker, or a queue a test drains.
// post() may be called from any thread; tasks run later, never inside post(), first in first out.
class TaskQueue {
  public:
    virtual ~TaskQueue() = default;
    virtual void post(std::function<void()> task) = 0;
};
