#pragma once

#include <deque>
#include <functional>
#include <mutex>

#include "platform/task_queue.h"

// A queue that runs nothing until the test drains it. Any thread may post.
class ManualQueue final : public TaskQueue {
  public:
    void post(std::function<void()> task) override {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }

    // Runs queued tasks, including ones they post, until none is left; returns how many ran.
    int drain() {
        int ran = 0;
        while (runOne()) {
            ++ran;
        }
        return ran;
    }

    bool runOne() {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty()) {
                return false;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
        return true;
    }

    size_t pending() {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }

  private:
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};
