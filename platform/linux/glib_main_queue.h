#pragma once

#include <deque>
#include <functional>
#include <mutex>

#include <glib.h>

#include "platform/task_queue.h"

// Runs posted tasks on the thread that iterates the given GLib main context (the default one
// when null), strictly first in first out. Any thread may post. Must outlive the main loop.
class GlibMainQueue final : public TaskQueue {
  public:
    explicit GlibMainQueue(GMainContext* context = nullptr);
    ~GlibMainQueue() override;
    GlibMainQueue(const GlibMainQueue&) = delete;
    GlibMainQueue& operator=(const GlibMainQueue&) = delete;

    void post(std::function<void()> task) override;

  private:
    static gboolean drain(gpointer self);

    GMainContext* context_;
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
    bool scheduled_ = false;
};
