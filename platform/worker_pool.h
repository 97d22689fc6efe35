#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/task_queue.h"

// A few background threads that run posted tasks concurrently, each task once, started in the
// order posted. Any thread may post. The destructor runs what is queued, then joins the threads.
class WorkerPool : public TaskQueue {
  public:
    // `name` labels the threads (the tail of it, as thread names hold 15 characters).
    WorkerPool(unsigned threads, std::string name);
    ~WorkerPool() override;
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void post(std::function<void()> task) override;

  private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::string name_;
    std::vector<std::thread> threads_;
};
