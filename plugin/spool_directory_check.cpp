#include <errno.h>
#include <fcntl.h>

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

}  // namespace

std::optional<std::string> checkDirectory(const std::string& directory) {
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
        return directory + " is not a spool directory";
    }
    // Each level is opened from the one above it, so what is checked is what is used: a level
    // can't be swapped for a link between the check of one and the opening of the next.
    FileDescriptor above;
    if (auto refused = openLevel(AT_FDCWD, top.string(), top.string(), above)) {
        return refused;
    }
    const std::array<std::filesystem::path, 2> below = {root, spoolDirectory};
    for (const auto& level : below) {
        FileDescriptor opened;
        if (auto refused =
                openLevel(above.get(), level.filename().string(), level.string(), opened)) {
            return refused;
        }
        above.reset(opened.release());
    }
    return std::nullopt;
}

}  // namespace spool
