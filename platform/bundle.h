#pragma once

#include <optional>
#include <string>

// Application and plug-in bundles: a directory X with X/Contents/Info.ini, a key file whose
// [Bundle] group names the identifier, the short version, the executable (found in
// X/Contents/Linux/) and, for a filter plug-in, the title the host lists it under.
// Any thread; every call reads the file system afresh and fails as "none" or "".

struct BundleInfo {
    std::string identifier;
    std::string shortVersion;
    std::string executable;
    std::string filterTitle;
};

inline constexpr char kBundleInfoFile[] = "Contents/Info.ini";
inline constexpr char kBundleGroup[] = "Bundle";

// None when the file is missing or unreadable; absent keys read as "".
std::optional<BundleInfo> readBundleInfo(const std::string& bundlePath);

// The nearest directory, starting with path itself, that holds Contents/Info.ini; "" if none.
// The path is used as given; resolve links first if that matters.
std::string enclosingBundle(const std::string& path);

// The bundle enclosing this process's executable, links resolved; "" if none.
std::string mainBundlePath();
// Its identifier; "" when there is no main bundle or it names none.
std::string mainBundleIdentifier();

// path with every symbolic link resolved, or path unchanged when it can't be resolved.
std::string resolvedPath(const std::string& path);
