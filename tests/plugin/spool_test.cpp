#include "plugin/spool.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>

#include "temp_dir.h"

namespace {

class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = ::getenv(name);
        if (old != nullptr) {
            old_ = old;
        }
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

void touch(const std::string& path, time_t seconds) {
    writeText(path, "x");
    timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

}  // namespace

TEST(Spool, DirectoriesLieUnderTheDataHomeAndArePrivate) {
    TempDir dir;
    {
        ScopedEnv data("XDG_DATA_HOME", dir.path().c_str());
        EXPECT_EQ(spool::root(), dir.path() + "/Lumivo/affinity-8bf-spool");
        EXPECT_EQ(spool::directoryFor("com.example.editor"), spool::root() + "/com.example.editor");
        for (const char* unusable : {"", ".", "..", "../escape", "a/b"}) {
            EXPECT_EQ(spool::directoryFor(unusable), spool::root() + "/unknown-host") << unusable;
        }
        spool::createDirectory(spool::directoryFor(""));
        for (const std::string& level :
             {dir.path() + "/Lumivo", spool::root(), spool::directoryFor("")}) {
            struct stat info {};
            ASSERT_EQ(::stat(level.c_str(), &info), 0) << level;
            EXPECT_EQ(info.st_mode & 0777, 0700u) << level;
        }
    }
    ScopedEnv home("HOME", "/home/someone");
    for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/path"}) {
        ScopedEnv data("XDG_DATA_HOME", ignored);
        EXPECT_EQ(spool::root(), "/home/someone/.local/share/Lumivo/affinity-8bf-spool");
    }
}

TEST(Spool, FileNamesCarryRoundedMilliseconds) {
    EXPECT_EQ(spool::fileName(spool::kInputPrefix, 1700000000.1234), "input-1700000000123.png");
    EXPECT_EQ(spool::fileName(spool::kResultPrefix, 1700000000.9996), "result-1700000001000.png");
    EXPECT_EQ(spool::fileName(spool::kInputPrefix, 0.0), "input-0.png");
}

TEST(Spool, TheNewestRegularFileWinsTiesKeepTheFirstListed) {
    TempDir dir;
    touch(dir / "input-1.png", 3000);
    touch(dir / "input-2.png", 3000);
    touch(dir / "input-3.png", 3000);
    touch(dir / "input-0.png", 1000);
    touch(dir / "result-9.png", 9000);  // other prefix
    touch(dir / "input-8.PNG", 9000);   // upper-case suffix
    std::filesystem::create_directory(dir / "input-7.png");
    std::filesystem::create_symlink(dir / "input-0.png", dir / "input-6.png");
    timespec late[2] = {{9000, 0}, {9000, 0}};
    ::utimensat(AT_FDCWD, (dir / "input-7.png").c_str(), late, 0);
    ::utimensat(AT_FDCWD, (dir / "input-6.png").c_str(), late, AT_SYMLINK_NOFOLLOW);

    // Of the three tied files, the one the directory lists first.
    std::string firstListed;
    DIR* listing = ::opendir(dir.path().c_str());
    while (dirent* entry = ::readdir(listing)) {
        std::string name = entry->d_name;
        if (name == "input-1.png" || name == "input-2.png" || name == "input-3.png") {
            firstListed = name;
            break;
        }
    }
    ::closedir(listing);
    EXPECT_EQ(spool::newestFile(dir.path(), spool::kInputPrefix), dir / firstListed);
    EXPECT_EQ(spool::newestFile(dir.path(), spool::kResultPrefix), dir / "result-9.png");
    EXPECT_EQ(spool::newestFile(dir / "missing", spool::kInputPrefix), std::nullopt);

    // Later by a nanosecond is later.
    timespec finer[2] = {{3000, 1}, {3000, 1}};
    ::utimensat(AT_FDCWD, (dir / "input-0.png").c_str(), finer, 0);
    EXPECT_EQ(spool::newestFile(dir.path(), spool::kInputPrefix), dir / "input-0.png");
}

TEST(Spool, RemovingByPrefixTakesEveryKindOfEntryButNotLinkTargets) {
    TempDir dir;
    writeText(dir / "keep/target", "x");
    writeText(dir / "result-1.png", "x");
    writeText(dir / "result-2.PNG", "x");
    writeText(dir / "result-3.png/inside", "x");
    std::filesystem::create_symlink(dir / "keep", dir / "result-4.png");
    writeText(dir / "input-1.png", "x");
    spool::removeWithPrefix(dir.path(), spool::kResultPrefix);
    EXPECT_EQ(entryNames(dir.path()), (std::vector<std::string>{"input-1.png", "keep"}));
    EXPECT_TRUE(std::filesystem::exists(dir / "keep/target"));
}

TEST(Spool, AtomicWritesLeaveEitherTheWholeFileOrNothing) {
    TempDir dir;
    const std::vector<uint8_t> bytes(100000, 7);
    ASSERT_TRUE(spool::writeAtomically(dir / "input-1.png", bytes.data(), bytes.size()));
    EXPECT_EQ(spool::readWhole(dir / "input-1.png"), bytes);
    EXPECT_EQ(entryNames(dir.path()).size(), 1u);

    EXPECT_FALSE(spool::writeAtomically(dir / "missing/input-2.png", bytes.data(), bytes.size()));
    // The target is a directory: the rename fails and the temporary file goes.
    std::filesystem::create_directories(dir / "input-3.png/x");
    EXPECT_FALSE(spool::writeAtomically(dir / "input-3.png", bytes.data(), bytes.size()));
    EXPECT_EQ(entryNames(dir.path()).size(), 2u);

    EXPECT_EQ(spool::readWhole(dir / "input-1.png", 99999), std::nullopt);
    EXPECT_EQ(spool::readWhole(dir / "input-3.png"), std::nullopt);
    EXPECT_EQ(spool::readWhole(dir / "nothing"), std::nullopt);
}
