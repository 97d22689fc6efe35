#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "plugin/spool.h"

// Sets (or, given null, unsets) an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = ::getenv(name);
        if (old != nullptr) {
            old_ = old;
        }
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// A fresh directory for one test, removed with everything in it at the end.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumivo-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline void writeText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// Creates <temp>/Lumivo/affinity-8bf-spool/<host>, the layout the spool's directory check
// accepts, and returns its path.
inline std::string makeSpoolDirectory(const TempDir& temp,
                                      const std::string& host = "com.example.host") {
    std::string directory = temp / ("Lumivo/affinity-8bf-spool/" + host);
    std::filesystem::create_directories(directory);
    return directory;
}

// The handle of a spool directory that passes the spool's check (see makeSpoolDirectory).
inline spool::Directory openSpool(const std::string& directory) {
    return std::move(spool::checkDirectory(directory).directory.value());
}

// The sorted names of a directory's entries; none when it can't be read.
inline std::vector<std::string> entryNames(const std::string& directory) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ignored)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Lays out a bundle directory with an Info.ini naming identifier and executable.
inline void makeBundle(const std::string& bundle, const std::string& identifier,
                       const std::string& executable = "", const std::string& title = "") {
    std::string text = "[Bundle]\nIdentifier=" + identifier + "\n";
    if (!executable.empty()) {
        text += "Executable=" + executable + "\n";
    }
    if (!title.empty()) {
        text += "FilterTitle=" + title + "\n";
    }
    writeText(bundle + "/Contents/Info.ini", text);
}

// Makes a directory read-only for this process while it lives: by its mode for an ordinary
// user, by the immutable attribute for root, whom modes don't stop. made() is false where the
// file system can't do either.
class ReadOnlyDirectory {
  public:
    explicit ReadOnlyDirectory(const std::string& path) : path_(path) {
        ::chmod(path.c_str(), 0700);  // private, as a checked spool directory is
        if (::geteuid() != 0) {
            made_ = ::chmod(path.c_str(), 0500) == 0;
        } else {
            made_ = setImmutable(true);
        }
    }
    ~ReadOnlyDirectory() { restore(); }
    ReadOnlyDirectory(const ReadOnlyDirectory&) = delete;
    ReadOnlyDirectory& operator=(const ReadOnlyDirectory&) = delete;

    void restore() {
        if (!made_) {
            return;
        }
        made_ = false;
        if (::geteuid() != 0) {
            ::chmod(path_.c_str(), 0700);
        } else {
            setImmutable(false);
        }
    }
    bool made() const { return made_; }

  private:
    bool setImmutable(bool on) const {
        const int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        int flags = 0;
        bool set = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        set = set && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0) {
            ::close(fd);
        }
        return set;
    }

    std::string path_;
    bool made_ = false;
};
