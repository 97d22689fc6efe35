#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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
