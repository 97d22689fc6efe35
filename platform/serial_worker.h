#pragma once

#include <string>

#include "platform/worker_pool.h"

// One background thread that runs its tasks one at a time, in the order they were posted.
// Any thread may post. The destructor runs what is queued, then joins the thread.
class SerialWorker final : public WorkerPool {
  public:
    explicit SerialWorker(std::string name) : WorkerPool(1, std::move(name)) {}
};
