#pragma once

#include <sys/types.h>

#include <functional>

// Tells when one process ends. Main thread only.
class ProcessExits {
  public:
    using Ended = std::function<void()>;

    virtual ~ProcessExits() = default;
    // Watches `pid` and runs `ended` once, later on the main thread, when it ends (a zombie has
    // ended); at once, still later, when it is already gone. Replaces the previous watch, whose
    // callback then never runs. A pid of 0 or less, or a process that can't be watched, is
    // never reported.
    virtual void watch(pid_t pid, Ended ended) = 0;
};
