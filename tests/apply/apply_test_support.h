#pragma once

#include <cstdint>
#include <functional>

#include "fakes/fake_running_apps.h"
#include "panel/app/apply_auto_press.h"
#include "plugin/temp_dir.h"

// A clock that only moves when the code under test sleeps.
struct FakeWaitClock {
    double now = 1000.0;
    int sleeps = 0;
    std::function<void()> onSleep;

    ApplyWaitClock clock() {
        return ApplyWaitClock{[this] { return now; },
                              [this](int64_t microseconds) {
                                  ++sleeps;
                                  now += static_cast<double>(microseconds) / 1e6;
                                  if (onSleep) {
                                      onSleep();
                                  }
                              }};
    }
};
