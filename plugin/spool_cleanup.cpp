#include <fcntl.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "plugin/spool.h"
#include "plugin/spool_files.h"

namespace spool {
namespace {

using detail::DirClose;

struct Entry {
    std::string name;
    struct stat info;
};

// The regular files of a directory whose names pass `wanted`, read without following links.
template <typename Wanted>
std::vector<Entry> regularFiles(DIR* dir, Wanted wanted) {
    std::vector<Entry> found;
    while (dirent* entry = ::readdir(dir)) {
        if (!wanted(std::string_view(entry->d_name))) {
            continue;
        }
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode)) {
            found.push_back({entry->d_name, info});
        }
    }
    return found;
}

// unlinkat without AT_REMOVEDIR never removes a directory, and removing a link that replaced
// the file since it was listed removes the link, never its target.
void unlinkAll(DIR* dir, const std::vector<Entry>& entries) {
    for (const Entry& entry : entries) {
        ::unlinkat(::dirfd(dir), entry.name.c_str(), 0);
    }
}

// ".input-….png.XXXXXX" or ".result-….png.XXXXXX", as writeAtomically names its temporaries.
bool isTemporaryName(std::string_view name) {
    if (!detail::startsWith(name, ".")) {
        return false;
    }
    name.remove_prefix(1);
    constexpr size_t kSuffix = 7;  // "." and six characters of mkostemp's
    if (name.size() <= kSuffix || name[name.size() - kSuffix] != '.') {
        return false;
    }
    name.remove_suffix(kSuffix);
    return detail::isSpoolFileName(name, kInputPrefix) ||
           detail::isSpoolFileName(name, kResultPrefix);
}

}  // namespace

void removeFiles(const std::string& directory, std::string_view prefix) {
    std::unique_ptr<DIR, DirClose> dir(::opendir(directory.c_str()));
    if (dir) {
        unlinkAll(dir.get(), regularFiles(dir.get(), [prefix](std::string_view name) {
                      return detail::isSpoolFileName(name, prefix);
                  }));
    }
}

void keepNewestFiles(const std::string& directory, std::string_view prefix, size_t keep) {
    std::unique_ptr<DIR, DirClose> dir(::opendir(directory.c_str()));
    if (!dir) {
        return;
    }
    std::vector<Entry> files = regularFiles(dir.get(), [prefix](std::string_view name) {
        return detail::isSpoolFileName(name, prefix);
    });
    if (files.size() <= keep) {
        return;
    }
    // Files written within one tick of the file system's clock share a time; the later name
    // (its stamp) breaks the tie, so the file just written is never the one to go.
    std::sort(files.begin(), files.end(), [](const Entry& a, const Entry& b) {
        if (detail::later(a.info.st_mtim, b.info.st_mtim)) {
            return true;
        }
        return !detail::later(b.info.st_mtim, a.info.st_mtim) && a.name > b.name;
    });
    files.erase(files.begin(), files.begin() + static_cast<std::ptrdiff_t>(keep));
    unlinkAll(dir.get(), files);
}

void removeFile(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        ::unlink(path.c_str());
    }
}

void removeStaleTemporaries(const std::string& directory, double nowSeconds) {
    std::unique_ptr<DIR, DirClose> dir(::opendir(directory.c_str()));
    if (!dir) {
        return;
    }
    std::vector<Entry> stale = regularFiles(dir.get(), isTemporaryName);
    std::erase_if(stale, [nowSeconds](const Entry& entry) {
        return nowSeconds - detail::seconds(entry.info.st_mtim) <= kStaleTemporarySeconds;
    });
    unlinkAll(dir.get(), stale);
}

}  // namespace spool
