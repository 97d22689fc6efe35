#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/task_queue.h"

// One background thread that runs its tasks one at a time, in the order they were posted.
// Any thread may post. The destructor runs what is queued, then joins the thread.
class SerialWorker final : public TaskQueue {
  public:
    explicit SerialWorker(std::string name);
    ~SerialWorker() override;
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    void post(std::function<void()> task) override;

  private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::string name_;
    std::thread thread_;
};
