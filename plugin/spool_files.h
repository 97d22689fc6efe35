#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "plugin/spool.h"

// Small owners and tests shared by the spool's files. Internal to the spool library.
namespace spool::detail {

// The two levels of the spool root below the data home: <data home>/Lumivo/affinity-8bf-spool.
inline constexpr char kTopLevelName[] = "Lumivo";
inline constexpr char kRootName[] = "affinity-8bf-spool";

struct DirClose {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the descriptor held and takes `fd`; false when closing failed.
    bool reset(int fd = -1) {
        int old = fd_;
        fd_ = fd;
        return old < 0 || ::close(old) == 0;
    }

  private:
    int fd_;
};

// A listing of the directory behind the handle, or null. The handle's own "." is opened afresh,
// so the listing has a position of its own and reads the very directory that was checked.
inline DIR* listing(const Directory& directory) {
    const int fd = ::openat(directory.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
    }
    return dir;
}

inline bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

inline bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// prefix + anything + ".png", case as written: the name of an input or a result file.
inline bool isSpoolFileName(std::string_view name, std::string_view prefix) {
    return startsWith(name, prefix) && endsWith(name, ".png");
}

inline double seconds(const timespec& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

inline bool later(const timespec& a, const timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

}  // namespace spool::detail
