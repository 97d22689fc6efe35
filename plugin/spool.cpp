#include "plugin/spool.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <memory>
#include <new>

#include "imaging/large_pages.h"
#include "plugin/spool_files.h"

namespace spool {
namespace {

using detail::DirClose;
using detail::FileDescriptor;

std::string homeDirectory() {
    const char* home = ::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return home;
    }
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return {};
}

std::string dataHome() {
    // A relative XDG_DATA_HOME is invalid and is ignored, as the base-directory rules say.
    const char* configured = ::getenv("XDG_DATA_HOME");
    if (configured != nullptr && configured[0] == '/') {
        return configured;
    }
    return homeDirectory() + "/.local/share";
}

}  // namespace

std::string root() {
    return dataHome() + "/" + detail::kTopLevelName + "/" + detail::kRootName;
}

std::string directoryFor(std::string_view hostBundleIdentifier) {
    // The identifier becomes one path component; one that would leave the spool root (or name
    // it) can't be a bundle identifier and is treated as none.
    const bool usable = !hostBundleIdentifier.empty() && hostBundleIdentifier != "." &&
                        hostBundleIdentifier != ".." &&
                        hostBundleIdentifier.find('/') == std::string_view::npos &&
                        hostBundleIdentifier.find('\0') == std::string_view::npos;
    return root() + "/" + std::string(usable ? hostBundleIdentifier : kUnknownHost);
}

void createDirectory(const std::string& directory) {
    // Every level this creates is private to the user: the files are the user's pictures.
    for (size_t slash = directory.find('/', 1);; slash = directory.find('/', slash + 1)) {
        std::string level = directory.substr(0, slash);
        if (!level.empty()) {
            ::mkdir(level.c_str(), 0700);
        }
        if (slash == std::string::npos) {
            break;
        }
    }
}

std::string fileName(std::string_view prefix, double nowSeconds) {
    char stamp[64];
    snprintf(stamp, sizeof stamp, "%.0f", nowSeconds * 1000.0);
    return std::string(prefix) + stamp + ".png";
}

double nowSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::optional<Entry> newestFile(const Directory& directory, std::string_view prefix) {
    std::unique_ptr<DIR, DirClose> dir(detail::listing(directory));
    if (!dir) {
        return std::nullopt;
    }
    std::optional<Entry> best;
    while (dirent* entry = ::readdir(dir.get())) {
        std::string_view name(entry->d_name);
        if (!detail::isSpoolFileName(name, prefix)) {
            continue;
        }
        struct stat info {};
        if (::fstatat(directory.fd(), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode)) {
            continue;
        }
        if (!best || detail::later(info.st_mtim, best->modified)) {
            best = Entry{entry->d_name, info.st_mtim};
        }
    }
    return best;
}

namespace {

// ".<name>.XXXXXX" with six random letters or digits, created exclusively, never through a
// link. A dot name never matches a reader's prefix, so a half-written file is never picked.
int createTemporary(const Directory& directory, const std::string& name, std::string& temporary) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint8_t random[6] = {};
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
            return -1;
        }
        temporary = "." + name + ".";
        for (uint8_t r : random) {
            temporary += kLetters[r % (sizeof kLetters - 1)];
        }
        int fd = ::openat(directory.fd(), temporary.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

bool writeAll(int fd, std::span<const uint8_t> bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        written += static_cast<size_t>(n);
    }
    return true;
}

// The whole of an open file, under the rules of readWhole.
std::optional<std::vector<uint8_t>> readOpened(const FileDescriptor& fd, size_t maxBytes) {
    if (fd.get() < 0) {
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() ||
        info.st_size < 0 || static_cast<uint64_t>(info.st_size) > maxBytes) {
        return std::nullopt;
    }
    // Memory the process can't get makes the file as unreadable as an I/O error would.
    std::vector<uint8_t> bytes;
    try {
        imaging::resizeInLargePages(bytes, static_cast<size_t>(info.st_size));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    size_t filled = 0;
    while (filled < bytes.size()) {
        ssize_t n = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            break;  // the file shrank while being read
        }
        filled += static_cast<size_t>(n);
    }
    bytes.resize(filled);
    return bytes;
}

// Without O_NONBLOCK, opening a FIFO would wait for a writer that never comes.
constexpr int kOpenForReading = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;

}  // namespace

bool writeAtomically(const Directory& directory, const std::string& name,
                     const std::vector<std::span<const uint8_t>>& pieces) {
    std::string temporary;
    FileDescriptor fd(createTemporary(directory, name, temporary));
    if (fd.get() < 0) {
        return false;
    }
    bool ok = true;
    for (const auto& piece : pieces) {
        ok = ok && writeAll(fd.get(), piece);
    }
    ok = fd.reset() && ok;
    if (ok) {
        ok = ::renameat(directory.fd(), temporary.c_str(), directory.fd(), name.c_str()) == 0;
    }
    if (!ok) {
        ::unlinkat(directory.fd(), temporary.c_str(), 0);
    }
    return ok;
}

bool writeAtomically(const Directory& directory, const std::string& name, const uint8_t* bytes,
                     size_t length) {
    return writeAtomically(directory, name, {std::span<const uint8_t>(bytes, length)});
}

std::optional<std::vector<uint8_t>> readWhole(const Directory& directory, const std::string& name,
                                              size_t maxBytes) {
    return readOpened(FileDescriptor(::openat(directory.fd(), name.c_str(), kOpenForReading)),
                      maxBytes);
}

std::optional<std::vector<uint8_t>> readWhole(const std::string& path, size_t maxBytes) {
    return readOpened(FileDescriptor(::open(path.c_str(), kOpenForReading)), maxBytes);
}

}  // namespace spool
