#pragma once

#include <string>

// What the demo editor tells a benchmark about its filter runs when started with --timings:
// "timing <step> <ms>" lines with the wall-clock time of each step (milliseconds since 1970, the
// clock a web page reads through performance.timeOrigin), and "memory <run> baseline-kb=<n>
// peak-kb=<n>" with the resident memory before the run and its peak over the run. Without
// --timings it prints nothing. Main thread only.
class RunTimings {
  public:
    explicit RunTimings(bool enabled) : enabled_(enabled) {}

    bool enabled() const { return enabled_; }
    void mark(const std::string& step) const;
    // Starts a new peak: the kernel's high-water mark is brought down to what is resident now.
    void beginMemoryWindow();
    void reportMemory(const std::string& run) const;

  private:
    bool enabled_;
    long baselineKb_ = -1;
};
