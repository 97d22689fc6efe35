#pragma once

#include "platform/task_queue.h"

// The serial queue "com.lumivo.affinity.apply" on which result applications run one at a time.
// Created by the first call, safely when several threads make it at once, and kept until the
// process ends. Any thread.
TaskQueue& applyQueue();
