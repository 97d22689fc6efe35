#include "platform/linux/pidfd_process_exits.h"

#include <errno.h>
#include <glib-unix.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <utility>

PidfdProcessExits::~PidfdProcessExits() {
    stop();
}

void PidfdProcessExits::stop() {
    if (source_ != 0) {
        g_source_remove(source_);
        source_ = 0;
    }
    if (pidfd_ >= 0) {
        ::close(pidfd_);
        pidfd_ = -1;
    }
    ended_ = nullptr;
}

void PidfdProcessExits::watch(pid_t pid, Ended ended) {
    stop();
    if (pid <= 0) {
        return;
    }
    // The wrapper came with glibc 2.36; the system call works with any C library.
    const long fd = ::syscall(SYS_pidfd_open, pid, 0);
    if (fd < 0) {
        if (errno == ESRCH) {
            ended_ = std::move(ended);
            source_ = g_idle_add(onAlreadyGone, this);
        }
        return;
    }
    pidfd_ = static_cast<int>(fd);
    ended_ = std::move(ended);
    source_ = g_unix_fd_add(pidfd_, G_IO_IN, onReadable, this);
}

void PidfdProcessExits::report() {
    // The watch is over before the callback runs, which may well start the next one.
    source_ = 0;
    Ended ended = std::move(ended_);
    stop();
    if (ended) {
        ended();
    }
}

gboolean PidfdProcessExits::onReadable(gint, GIOCondition, gpointer self) {
    static_cast<PidfdProcessExits*>(self)->report();
    return G_SOURCE_REMOVE;
}

gboolean PidfdProcessExits::onAlreadyGone(gpointer self) {
    static_cast<PidfdProcessExits*>(self)->report();
    return G_SOURCE_REMOVE;
}
