#include "platform/linux/proc_executable.h"

#include <limits.h>
#include <stdio.h>
#include <unistd.h>

std::string processExecutable(pid_t pid) {
    char link[64];
    snprintf(link, sizeof link, "/proc/%d/exe", static_cast<int>(pid));
    char buffer[PATH_MAX];
    ssize_t length = ::readlink(link, buffer, sizeof buffer - 1);
    if (length <= 0) {
        return {};
    }
    std::string path(buffer, static_cast<size_t>(length));
    static constexpr char kDeleted[] = " (deleted)";
    if (path.size() > sizeof kDeleted - 1 &&
        path.compare(path.size() - (sizeof kDeleted - 1), std::string::npos, kDeleted) == 0) {
        path.resize(path.size() - (sizeof kDeleted - 1));
    }
    return path;
}
