#include <errno.h>
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

struct Listed {
    std::string name;
    struct stat info;
};

// The regular files of the directory whose names pass `wanted`, read without following links.
template <typename Wanted>
std::vector<Listed> regularFiles(const Directory& directory, Wanted wanted) {
    std::vector<Listed> found;
    std::unique_ptr<DIR, DirClose> dir(detail::listing(directory));
    if (!dir) {
        return found;
    }
    while (dirent* entry = ::readdir(dir.get())) {
        if (!wanted(std::string_view(entry->d_name))) {
            continue;
        }
        struct stat info {};
        if (::fstatat(directory.fd(), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode)) {
            found.push_back({entry->d_name, info});
        }
    }
    return found;
}

auto spoolFilesOf(std::string_view prefix) {
    return [prefix](std::string_view name) { return detail::isSpoolFileName(name, prefix); };
}

// unlinkat without AT_REMOVEDIR never removes a directory, and removing a link that replaced
// the file since it was listed removes the link, never its target.
void unlinkAll(const Directory& directory, const std::vector<Listed>& entries) {
    for (const Listed& entry : entries) {
        ::unlinkat(directory.fd(), entry.name.c_str(), 0);
    }
}

// ".input-….png.XXXXXX" or ".result-….png.XXXXXX", as writeAtomically names its temporaries.
bool isTemporaryName(std::string_view name) {
    if (!detail::startsWith(name, ".")) {
        return false;
    }
    name.remove_prefix(1);
    constexpr size_t kSuffix = 7;  // "." and six random characters
    if (name.size() <= kSuffix || name[name.size() - kSuffix] != '.') {
        return false;
    }
    name.remove_suffix(kSuffix);
    return detail::isSpoolFileName(name, kInputPrefix) ||
           detail::isSpoolFileName(name, kResultPrefix);
}

}  // namespace

void removeFiles(const Directory& directory, std::string_view prefix) {
    unlinkAll(directory, regularFiles(directory, spoolFilesOf(prefix)));
}

void removeFilesExcept(const Directory& directory, std::string_view prefix, std::string_view kept) {
    std::vector<Listed> files = regularFiles(directory, spoolFilesOf(prefix));
    std::erase_if(files, [kept](const Listed& file) { return file.name == kept; });
    unlinkAll(directory, files);
}

void keepNewestFiles(const Directory& directory, std::string_view prefix, size_t keep) {
    std::vector<Listed> files = regularFiles(directory, spoolFilesOf(prefix));
    if (files.size() <= keep) {
        return;
    }
    // Files written within one tick of the file system's clock share a time; the later name
    // (its stamp) breaks the tie, so the file just written is never the one to go.
    std::sort(files.begin(), files.end(), [](const Listed& a, const Listed& b) {
        if (detail::later(a.info.st_mtim, b.info.st_mtim)) {
            return true;
        }
        return !detail::later(b.info.st_mtim, a.info.st_mtim) && a.name > b.name;
    });
    files.erase(files.begin(), files.begin() + static_cast<std::ptrdiff_t>(keep));
    unlinkAll(directory, files);
}

int removeFile(const Directory& directory, const std::string& name) {
    struct stat info {};
    if (::fstatat(directory.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno;
    }
    if (!S_ISREG(info.st_mode)) {
        return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    }
    return ::unlinkat(directory.fd(), name.c_str(), 0) == 0 ? 0 : errno;
}

void removeStaleTemporaries(const Directory& directory, double nowSeconds) {
    std::vector<Listed> stale = regularFiles(directory, isTemporaryName);
    std::erase_if(stale, [nowSeconds](const Listed& entry) {
        return nowSeconds - detail::seconds(entry.info.st_mtim) <= kStaleTemporarySeconds;
    });
    unlinkAll(directory, stale);
}

}  // namespace spool
