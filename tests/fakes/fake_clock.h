#pragma once

#include <vector>

#include "plugin/clock.h"

// A clock that only moves when slept on. One thread.
struct FakeClock final : Clock {
    double now = 1000.0;
    std::vector<double> sleeps;

    double steadySeconds() override { return now; }
    void sleepFor(double seconds) override {
        sleeps.push_back(seconds);
        now += seconds;
    }
};
