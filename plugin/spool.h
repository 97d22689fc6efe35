#pragma once

#include <time.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The spool contract shared by the plug-in and the panel: where the files live, how they are
// named, how the newest one is picked, and how they are written so no reader sees half a file.
namespace spool {

inline constexpr char kNotificationName[] = "com.lumivo.affinity-8bf.send";
inline constexpr char kPanelBundleIdentifier[] = "com.lumivo.affinity-panel-host";
inline constexpr char kPanelBundleName[] = "LumivoAffinity.app";
inline constexpr char kUnknownHost[] = "unknown-host";
inline constexpr char kInputPrefix[] = "input-";
inline constexpr char kResultPrefix[] = "result-";

// $XDG_DATA_HOME (else ~/.local/share) + "/Lumivo/affinity-8bf-spool".
std::string root();
// root() / hostBundleIdentifier, or root() / "unknown-host" when the identifier is empty or
// is not a single path component ("..", or holding a "/").
std::string directoryFor(std::string_view hostBundleIdentifier);
// Creates the directory and missing parents, private to the user (0700). Failures ignored.
void createDirectory(const std::string& directory);

// "input-%.0f.png" / "result-%.0f.png" for the time in seconds since 1970.
std::string fileName(std::string_view prefix, double nowSeconds);
double nowSeconds();

// A spool directory as checkDirectory opened it. Every file operation on the spool goes
// through its handle, never through the path again, so the directory that was checked is the
// one used whatever becomes of its path afterwards. Move-only; closes the handle when
// destroyed. Any thread, several at once: each operation opens what it needs from the handle.
struct CheckedDirectory;
enum class Missing { refuse, create };
class Directory {
  public:
    ~Directory();
    Directory(Directory&& other) noexcept;
    Directory& operator=(Directory&& other) noexcept;
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    int fd() const { return fd_; }
    // The path it was opened by, for naming a file to the panel and in messages only.
    const std::string& path() const { return path_; }
    std::string pathOf(std::string_view name) const { return path_ + "/" + std::string(name); }

  private:
    friend CheckedDirectory checkDirectory(const std::string& directory, Missing missing);
    Directory(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

    int fd_;
    std::string path_;
};

// What checkDirectory found.
struct CheckedDirectory {
    std::optional<Directory> directory;  // set when the directory may be used
    std::string refusal;                 // why not, otherwise
};

// Opens the spool directory and judges it. It must be named
// <anything>/Lumivo/affinity-8bf-spool/<host>, and those three levels are each opened without
// following a link, from the level above, and must be a directory owned by this user; a level
// of ours that others could read or write is made private (0700) here. Another user's
// directory, a link or a file is refused, so nothing is read from, written to or removed in a
// place someone else controls. With Missing::create, missing levels are made first (private to
// the user), ours through the handle of the level above.
CheckedDirectory checkDirectory(const std::string& directory, Missing missing = Missing::refuse);

// One file of a spool directory, as listed.
struct Entry {
    std::string name;
    timespec modified{};
};

// The newest-file rule: names starting with prefix and ending ".png" (case-sensitive), regular
// files only (links not followed), latest modification time wins, ties keep the first listed.
std::optional<Entry> newestFile(const Directory& directory, std::string_view prefix);
// Removes the regular files named prefix + "*.png". Nothing else is touched: no directory is
// entered, no link is followed or removed. Failures ignored.
void removeFiles(const Directory& directory, std::string_view prefix);
// The same, sparing the file named `kept`.
void removeFilesExcept(const Directory& directory, std::string_view prefix, std::string_view kept);
// Removes the regular files named prefix + "*.png" but the `keep` newest (by modification time).
void keepNewestFiles(const Directory& directory, std::string_view prefix, size_t keep);
// Removes the entry when it is a regular file (not a link, not a directory): 0 once it is gone,
// else the error number of what stood in the way.
int removeFile(const Directory& directory, const std::string& name);

// A write cut short (a killed process) leaves its dot temporary behind; one this old is no
// longer being written.
inline constexpr double kStaleTemporarySeconds = 600.0;
// Removes the regular dot temporaries of input and result files modified longer than
// kStaleTemporarySeconds before nowSeconds.
void removeStaleTemporaries(const Directory& directory, double nowSeconds);

// Writes the pieces, one after the other, to a dot temporary in the directory and renames it to
// `name`; false (and no file left behind) on any failure.
bool writeAtomically(const Directory& directory, const std::string& name,
                     const std::vector<std::span<const uint8_t>>& pieces);
bool writeAtomically(const Directory& directory, const std::string& name, const uint8_t* bytes,
                     size_t length);
// Larger files are refused unread, so a stray huge file can't exhaust the reader's memory.
inline constexpr size_t kMaxFileBytes = size_t{1} << 30;
// The whole file, or none when it isn't a regular file of this user's, can't be read or is larger
// than maxBytes. A link, a FIFO or a device is never opened for reading: nothing can make the
// reader block or read through to somewhere else.
std::optional<std::vector<uint8_t>> readWhole(const Directory& directory, const std::string& name,
                                              size_t maxBytes = kMaxFileBytes);
// The same for a file named by its path, such as a command line's.
std::optional<std::vector<uint8_t>> readWhole(const std::string& path,
                                              size_t maxBytes = kMaxFileBytes);

}  // namespace spool
