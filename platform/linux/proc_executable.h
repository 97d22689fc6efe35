#pragma once

#include <sys/types.h>

#include <string>

// The program a process runs, read from /proc/<pid>/exe: the path it was started from, also
// after the file was replaced on disk (the kernel's " (deleted)" mark is dropped, so it still
// names where the program lives); "" when the link can't be read (the process is gone, or it
// belongs to another user). Any thread.
std::string processExecutable(pid_t pid);
