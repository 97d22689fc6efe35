#include "platform/linux/glib_one_shot_timer.h"

#include <algorithm>
#include <utility>

GlibOneShotTimer::~GlibOneShotTimer() {
    cancel();
}

void GlibOneShotTimer::start(double seconds, std::function<void()> task) {
    cancel();
    task_ = std::move(task);
    // Delays are the panel's own, from a fraction of a second to minutes.
    const double milliseconds = std::clamp(seconds * 1000.0, 0.0, 3.6e6);
    source_ = g_timeout_add(static_cast<guint>(milliseconds), onTimeout, this);
}

void GlibOneShotTimer::cancel() {
    if (source_ != 0) {
        g_source_remove(source_);
        source_ = 0;
    }
    task_ = nullptr;
}

gboolean GlibOneShotTimer::onTimeout(gpointer self) {
    auto* timer = static_cast<GlibOneShotTimer*>(self);
    timer->source_ = 0;
    std::function<void()> task = std::move(timer->task_);
    timer->task_ = nullptr;
    if (task) {
        task();
    }
    return G_SOURCE_REMOVE;
}
