#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>

#include "plugin/spool.h"
#include "plugin/spool_files.h"

namespace spool {
namespace {

using detail::FileDescriptor;

constexpr int kOpenLevel = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Opens one level below `parent` (or the path itself when parent is AT_FDCWD) without following
// a link, and checks it; the reason it can't be used, or none.
std::optional<std::string> openLevel(int parent, const std::string& name, const std::string& shown,
                                     FileDescriptor& level) {
    level.reset(::openat(parent, name.c_str(), kOpenLevel));
    if (level.get() < 0) {
        struct stat info {};
        if (::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            return shown + " can't be opened";
        }
        if (S_ISLNK(info.st_mode)) {
            return shown + " is a symbolic link";
        }
        if (!S_ISDIR(info.st_mode)) {
            return shown + " is not a directory";
        }
        return shown + " can't be opened";
    }
    struct stat info {};
    if (::fstat(level.get(), &info) != 0) {
        return shown + " can't be read";
    }
    if (info.st_uid != ::geteuid()) {
        return shown + " belongs to another user";
    }
    if ((info.st_mode & 077) != 0 && ::fchmod(level.get(), 0700) != 0) {
        return shown + " is open to other users";
    }
    return std::nullopt;
}

CheckedDirectory refused(std::string reason) {
    return CheckedDirectory{std::nullopt, std::move(reason)};
}

}  // namespace

Directory::~Directory() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

Directory::Directory(Directory&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

Directory& Directory::operator=(Directory&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

CheckedDirectory checkDirectory(const std::string& directory, Missing missing) {
    std::filesystem::path spoolDirectory = std::filesystem::path(directory).lexically_normal();
    if (spoolDirectory.filename().empty()) {
        spoolDirectory = spoolDirectory.parent_path();  // a trailing separator
    }
    const std::filesystem::path root = spoolDirectory.parent_path();
    const std::filesystem::path top = root.parent_path();
    // Only the levels this system names are ever judged (and made private): never a folder the
    // user gave for something else.
    const std::string name = spoolDirectory.filename().string();
    if (!spoolDirectory.is_absolute() || name.empty() || name == "." || name == ".." ||
        root.filename() != detail::kRootName || top.filename() != detail::kTopLevelName) {
        return refused(directory + " is not a spool directory");
    }
    const bool create = missing == Missing::create;
    if (create) {
        // The data home is the user's own folder, reached as they set it up.
        createDirectory(top.string());
    }
    // Each level is opened from the one above it, and the run then works through the last
    // handle alone: no level can be swapped for a link between the check and the use.
    FileDescriptor above;
    if (auto reason = openLevel(AT_FDCWD, top.string(), top.string(), above)) {
        return refused(std::move(*reason));
    }
    const std::array<std::filesystem::path, 2> below = {root, spoolDirectory};
    for (const auto& level : below) {
        const std::string levelName = level.filename().string();
        if (create) {
            ::mkdirat(above.get(), levelName.c_str(), 0700);
        }
        FileDescriptor opened;
        if (auto reason = openLevel(above.get(), levelName, level.string(), opened)) {
            return refused(std::move(*reason));
        }
        above.reset(opened.release());
    }
    return CheckedDirectory{Directory(above.release(), spoolDirectory.string()), {}};
}

}  // namespace spool
