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
// Removes every entry whose name starts with prefix, whatever its type; failures ignored.
void removeWithPrefix(const std::string& directory, std::string_view prefix);

// Write-then-rename in the same directory; false (and no file left behind) on any failure.
bool writeAtomically(const std::string& path, const uint8_t* bytes, size_t length);
// Larger files are refused unread, so a stray huge file can't exhaust the reader's memory.
inline constexpr size_t kMaxFileBytes = size_t{1} << 30;
// The whole regular file, or none when it can't be read or is larger than maxBytes.
std::optional<std::vector<uint8_t>> readWhole(const std::string& path,
                                              size_t maxBytes = kMaxFileBytes);

}  // namespace spool
