#pragma once

#include <chrono>
#include <thread>

// Time as the hand-off waits on it: a steady clock and a sleep, so tests can run a five-second
// wait in no time. One thread at a time.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual double steadySeconds() = 0;
    virtual void sleepFor(double seconds) = 0;
};

class SystemClock final : public Clock {
  public:
    double steadySeconds() override {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void sleepFor(double seconds) override {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }
};
