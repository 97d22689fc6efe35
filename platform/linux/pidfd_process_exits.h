#pragma once

#include <glib.h>

#include "platform/process_exits.h"

// ProcessExits through a pidfd that a GLib source watches on the default main context: the
// kernel wakes the loop when the process ends, nothing polls. Main thread only. A kernel
// without pidfd_open (before Linux 5.3) watches nothing.
class PidfdProcessExits final : public ProcessExits {
  public:
    PidfdProcessExits() = default;
    ~PidfdProcessExits() override;
    PidfdProcessExits(const PidfdProcessExits&) = delete;
    PidfdProcessExits& operator=(const PidfdProcessExits&) = delete;

    void watch(pid_t pid, Ended ended) override;

  private:
    static gboolean onReadable(gint fd, GIOCondition condition, gpointer self);
    static gboolean onAlreadyGone(gpointer self);
    void stop();
    void report();

    int pidfd_ = -1;
    guint source_ = 0;
    Ended ended_;
};
