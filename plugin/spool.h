#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

// The newest-file rule: names starting with prefix and ending ".png" (case-sensitive), regular
// files only (links not followed), latest modification time wins, ties keep the first listed.
// Returns the full path, or none.
std::optional<std::string> newestFile(const std::string& directory, std::string_view prefix);
// Removes the regular files named prefix + "*.png". Nothing else is touched: no directory is
// entered, no link is followed or removed. Failures ignored.
void removeFiles(const std::string& directory, std::string_view prefix);
// Removes the regular files named prefix + "*.png" but the `keep` newest (by modification time).
void keepNewestFiles(const std::string& directory, std::string_view prefix, size_t keep);
// Removes the path when it is a regular file (not a link, not a directory); failures ignored.
void removeFile(const std::string& path);

// A write cut short (a killed process) leaves its dot temporary behind; one this old is no
// longer being written.
inline constexpr double kStaleTemporarySeconds = 600.0;
// Removes the regular dot temporaries of input and result files modified longer than
// kStaleTemporarySeconds before nowSeconds.
void removeStaleTemporaries(const std::string& directory, double nowSeconds);

// Why the spool directory must not be used, or none when it may. It must be named
// <anything>/Lumivo/affinity-8bf-spool/<host>, and those three levels are each opened without
// following a link and must be a directory owned by this user; a level of ours that others
// could read or write is made private (0700) here. Another user's directory, a link or a file
// is refused, so nothing is read from, written to or removed in a place someone else controls.
std::optional<std::string> checkDirectory(const std::string& directory);

// Write-then-rename in the same directory; false (and no file left behind) on any failure.
bool writeAtomically(const std::string& path, const uint8_t* bytes, size_t length);
// Larger files are refused unread, so a stray huge file can't exhaust the reader's memory.
inline constexpr size_t kMaxFileBytes = size_t{1} << 30;
// The whole file, or none when it isn't a regular file of this user's, can't be read or is larger
// than maxBytes. A link, a FIFO or a device is never opened for reading: nothing can make the
// reader block or read through to somewhere else.
std::optional<std::vector<uint8_t>> readWhole(const std::string& path,
                                              size_t maxBytes = kMaxFileBytes);

}  // namespace spool
