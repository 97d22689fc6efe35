#include "panel/app/apply_queue.h"

#include "platform/serial_worker.h"

TaskQueue& applyQueue() {
    // Never destroyed: at exit the worker is neither drained nor joined, so a job that is
    // waiting for the editor can't hold the process up.
    static SerialWorker* const queue = new SerialWorker("com.lumivo.affinity.apply");
    return *queue;
}
