#pragma once

#include <functional>

#include <glib.h>

#include "platform/one_shot_timer.h"

// OneShotTimer as a GLib timeout on the default main context. Main thread only.
class GlibOneShotTimer final : public OneShotTimer {
  public:
    GlibOneShotTimer() = default;
    ~GlibOneShotTimer() override;
    GlibOneShotTimer(const GlibOneShotTimer&) = delete;
    GlibOneShotTimer& operator=(const GlibOneShotTimer&) = delete;

    void start(double seconds, std::function<void()> task) override;
    void cancel() override;

  private:
    static gboolean onTimeout(gpointer self);

    guint source_ = 0;
    std::function<void()> task_;
};
