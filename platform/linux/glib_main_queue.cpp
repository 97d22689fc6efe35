#include "platform/linux/glib_main_queue.h"

GlibMainQueue::GlibMainQueue(GMainContext* context)
    : context_(context ? g_main_context_ref(context)
                       : g_main_context_ref(g_main_context_default())) {}

GlibMainQueue::~GlibMainQueue() {
    g_main_context_unref(context_);
}

void GlibMainQueue::post(std::function<void()> task) {
    bool schedule = false;
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        schedule = !scheduled_;
        scheduled_ = true;
    }
    // One source drains the whole deque, so the order of posting is the order of running even
    // across GLib's own source ordering.
    if (schedule) {
        GSource* source = g_idle_source_new();
        g_source_set_priority(source, G_PRIORITY_DEFAULT);
        g_source_set_callback(source, &GlibMainQueue::drain, this, nullptr);
        g_source_attach(source, context_);
        g_source_unref(source);
    }
}

gboolean GlibMainQueue::drain(gpointer self) {
    auto* queue = static_cast<GlibMainQueue*>(self);
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(queue->mutex_);
        batch.swap(queue->tasks_);
        queue->scheduled_ = false;
    }
    for (auto& task : batch) {
        task();
    }
    return G_SOURCE_REMOVE;
}
