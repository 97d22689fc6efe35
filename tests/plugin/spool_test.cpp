#include "plugin/spool.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>

#include "temp_dir.h"

namespace {

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
    TempDir temp;
    const std::string dir = makeSpoolDirectory(temp);
    touch(dir + "/input-1.png", 3000);
    touch(dir + "/input-2.png", 3000);
    touch(dir + "/input-3.png", 3000);
    touch(dir + "/input-0.png", 1000);
    touch(dir + "/result-9.png", 9000);  // other prefix
    touch(dir + "/input-8.PNG", 9000);   // upper-case suffix
    std::filesystem::create_directory(dir + "/input-7.png");
    std::filesystem::create_symlink(dir + "/input-0.png", dir + "/input-6.png");
    timespec late[2] = {{9000, 0}, {9000, 0}};
    ::utimensat(AT_FDCWD, (dir + "/input-7.png").c_str(), late, 0);
    ::utimensat(AT_FDCWD, (dir + "/input-6.png").c_str(), late, AT_SYMLINK_NOFOLLOW);

    // Of the three tied files, the one the directory lists first.
    std::string firstListed;
    DIR* listing = ::opendir(dir.c_str());
    while (dirent* entry = ::readdir(listing)) {
        std::string name = entry->d_name;
        if (name == "input-1.png" || name == "input-2.png" || name == "input-3.png") {
            firstListed = name;
            break;
        }
    }
    ::closedir(listing);
    const spool::Directory spoolDir = openSpool(dir);
    auto newest = [&](std::string_view prefix) {
        std::optional<spool::Entry> entry = spool::newestFile(spoolDir, prefix);
        return entry ? entry->name : std::string("none");
    };
    EXPECT_EQ(newest(spool::kInputPrefix), firstListed);
    EXPECT_EQ(newest(spool::kResultPrefix), "result-9.png");
    EXPECT_EQ(spool::newestFile(spoolDir, spool::kResultPrefix)->modified.tv_sec, 9000);

    // Later by a nanosecond is later.
    timespec finer[2] = {{3000, 1}, {3000, 1}};
    ::utimensat(AT_FDCWD, (dir + "/input-0.png").c_str(), finer, 0);
    EXPECT_EQ(newest(spool::kInputPrefix), "input-0.png");
    std::filesystem::remove_all(dir);
    EXPECT_EQ(newest(spool::kInputPrefix), "none");
}

TEST(Spool, RemovalTakesOnlyRegularSpoolFilesNeverDirectoriesOrLinks) {
    TempDir temp;
    const std::string dir = makeSpoolDirectory(temp);
    const spool::Directory spoolDir = openSpool(dir);
    writeText(temp / "keep/target", "x");
    writeText(dir + "/result-1.png", "x");
    writeText(dir + "/result-2.PNG", "x");
    writeText(dir + "/result-3.png/inside", "x");
    std::filesystem::create_symlink(temp / "keep/target", dir + "/result-4.png");
    writeText(dir + "/result-keep.txt", "x");
    writeText(dir + "/input-1.png", "x");
    writeText(dir + "/input-2.png", "x");
    writeText(dir + "/input-3.png", "x");
    spool::removeFiles(spoolDir, spool::kResultPrefix);
    spool::removeFilesExcept(spoolDir, spool::kInputPrefix, "input-2.png");
    EXPECT_EQ(entryNames(dir),
              (std::vector<std::string>{"input-2.png", "result-2.PNG", "result-3.png",
                                        "result-4.png", "result-keep.txt"}));
    EXPECT_TRUE(std::filesystem::exists(dir + "/result-3.png/inside"));
    EXPECT_TRUE(std::filesystem::exists(temp / "keep/target"));

    // One entry: 0 once it is gone, else why it stays.
    EXPECT_EQ(spool::removeFile(spoolDir, "result-4.png"), EINVAL);  // a link
    EXPECT_EQ(spool::removeFile(spoolDir, "result-3.png"), EISDIR);
    EXPECT_EQ(spool::removeFile(spoolDir, "input-2.png"), 0);
    EXPECT_EQ(spool::removeFile(spoolDir, "input-2.png"), ENOENT);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(dir + "/result-4.png")));
    EXPECT_TRUE(std::filesystem::exists(dir + "/result-3.png/inside"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/input-2.png"));
}

TEST(Spool, KeepingTheNewestRemovesTheOlderOnesAndBreaksTimeTiesByName) {
    TempDir temp;
    const std::string dir = makeSpoolDirectory(temp);
    for (int i = 1; i <= 6; ++i) {
        touch(dir + "/result-" + std::to_string(i) + ".png", i <= 3 ? 1000 * i : 5000);
    }
    touch(dir + "/input-0.png", 10);
    spool::keepNewestFiles(openSpool(dir), spool::kResultPrefix, 3);
    EXPECT_EQ(entryNames(dir), (std::vector<std::string>{"input-0.png", "result-4.png",
                                                         "result-5.png", "result-6.png"}));
    spool::keepNewestFiles(openSpool(dir), spool::kResultPrefix, 5);
    EXPECT_EQ(entryNames(dir).size(), 4u);
}

TEST(Spool, StaleTemporariesOfCutShortWritesAreSwept) {
    TempDir temp;
    const std::string dir = makeSpoolDirectory(temp);
    const double now = 100000;
    const time_t old = static_cast<time_t>(now - spool::kStaleTemporarySeconds - 1);
    const time_t fresh = static_cast<time_t>(now - spool::kStaleTemporarySeconds + 10);
    touch(dir + "/.input-1.png.AbC123", old);
    touch(dir + "/.result-1.png.zzzzzz", old);
    touch(dir + "/.result-2.png.yyyyyy", fresh);  // still being written
    touch(dir + "/.input-3.png.short", old);
    touch(dir + "/.other-1.png.xxxxxx", old);
    touch(dir + "/input-4.png", old);
    std::filesystem::create_directory(dir + "/.input-5.png.dddddd");
    spool::removeStaleTemporaries(openSpool(dir), now);
    EXPECT_EQ(entryNames(dir), (std::vector<std::string>{
                                   ".input-3.png.short", ".input-5.png.dddddd",
                                   ".other-1.png.xxxxxx", ".result-2.png.yyyyyy", "input-4.png"}));
}

TEST(Spool, TheDirectoryCheckRefusesLinksFilesAndOtherNamesAndMakesOursPrivate) {
    TempDir temp;
    const std::string top = temp / "Lumivo";
    const std::string root = top + "/affinity-8bf-spool";
    const std::string host = makeSpoolDirectory(temp, "com.example.host");
    ::chmod(root.c_str(), 0777);
    ::chmod(host.c_str(), 0755);
    for (const std::string& given :
         {host, host + "/", root + "/../affinity-8bf-spool/" + "com.example.host"}) {
        spool::CheckedDirectory checked = spool::checkDirectory(given);
        ASSERT_TRUE(checked.directory) << checked.refusal;
        EXPECT_EQ(checked.directory->path(), host);
        EXPECT_EQ(checked.directory->pathOf("input-1.png"), host + "/input-1.png");
    }
    for (const std::string& level : {top, root, host}) {
        EXPECT_EQ(std::filesystem::status(level).permissions(), std::filesystem::perms::owner_all)
            << level;
    }

    std::filesystem::create_directories(temp / "elsewhere/Lumivo/affinity-8bf-spool/x");
    std::filesystem::create_directory_symlink(temp / "elsewhere", root + "/linked");
    writeText(root + "/plain", "x");
    TempDir other;
    std::filesystem::create_directories(other / "Lumivo");
    std::filesystem::create_directory_symlink(temp / "elsewhere/Lumivo/affinity-8bf-spool",
                                              other / "Lumivo/affinity-8bf-spool");
    makeSpoolDirectory(other, "com.example.host");
    const std::vector<std::pair<std::string, std::string>> refused = {
        {root + "/linked", "is a symbolic link"},
        {root + "/plain", "is not a directory"},
        {root + "/missing", "can't be opened"},
        {other / "Lumivo/affinity-8bf-spool/x", "is a symbolic link"},
        {temp / "Documents/folder", "is not a spool directory"},
        {root, "is not a spool directory"},
        {"Lumivo/affinity-8bf-spool/com.example.host", "is not a spool directory"},
    };
    for (const auto& [directory, reason] : refused) {
        spool::CheckedDirectory checked = spool::checkDirectory(directory);
        ASSERT_FALSE(checked.directory) << directory;
        EXPECT_NE(checked.refusal.find(reason), std::string::npos) << checked.refusal;
    }

    if (::geteuid() == 0) {  // only root can hand a directory to another user
        ::chmod(host.c_str(), 0777);
        ASSERT_EQ(::chown(host.c_str(), 65534, 65534), 0);
        spool::CheckedDirectory checked = spool::checkDirectory(host);
        ASSERT_FALSE(checked.directory);
        EXPECT_NE(checked.refusal.find("belongs to another user"), std::string::npos)
            << checked.refusal;
        EXPECT_EQ(std::filesystem::status(host).permissions(), std::filesystem::perms::all);
    }
}

TEST(Spool, ACheckThatMayCreateMakesTheMissingLevelsPrivateButNeverThroughALink) {
    TempDir temp;
    const std::string root = temp / "fresh/.local/share/Lumivo/affinity-8bf-spool";
    EXPECT_FALSE(spool::checkDirectory(root + "/host").directory) << "nothing made unasked";
    EXPECT_FALSE(std::filesystem::exists(temp / "fresh"));
    EXPECT_TRUE(spool::checkDirectory(root + "/host", spool::Missing::create).directory);
    for (const std::string& level : {root + "/..", root, root + "/host"}) {
        EXPECT_EQ(std::filesystem::status(level).permissions(), std::filesystem::perms::owner_all);
    }
    std::filesystem::create_directory_symlink(temp / "elsewhere", root + "/linked");
    EXPECT_FALSE(spool::checkDirectory(root + "/linked", spool::Missing::create).directory);
    EXPECT_FALSE(std::filesystem::exists(temp / "elsewhere"));
}

TEST(Spool, ReadingNeverBlocksOnAFifoNorFollowsALinkNorTakesAnotherUsersFile) {
    TempDir temp;
    const std::string dir = makeSpoolDirectory(temp);
    const spool::Directory spoolDir = openSpool(dir);
    writeText(dir + "/target.png", "bytes");
    std::filesystem::create_symlink(dir + "/target.png", dir + "/input-1.png");
    ASSERT_EQ(::mkfifo((dir + "/input-2.png").c_str(), 0600), 0);
    EXPECT_EQ(spool::readWhole(spoolDir, "input-1.png"), std::nullopt);
    EXPECT_EQ(spool::readWhole(spoolDir, "input-2.png"), std::nullopt);
    EXPECT_EQ(spool::readWhole(dir + "/input-1.png"), std::nullopt);
    EXPECT_EQ(spool::readWhole(dir + "/input-2.png"), std::nullopt);
    const std::vector<uint8_t> bytes = {'b', 'y', 't', 'e', 's'};
    EXPECT_EQ(spool::readWhole(spoolDir, "target.png"), bytes);
    EXPECT_EQ(spool::readWhole(dir + "/target.png"), bytes);
    EXPECT_EQ(spool::readWhole(spoolDir, "target.png", 4), std::nullopt);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown((dir + "/target.png").c_str(), 65534, 65534), 0);
        EXPECT_EQ(spool::readWhole(spoolDir, "target.png"), std::nullopt);
        EXPECT_EQ(spool::readWhole(dir + "/target.png"), std::nullopt);
    }
}

TEST(Spool, AtomicWritesLeaveEitherTheWholeFileOrNothing) {
    TempDir temp;
    const std::string dir = makeSpoolDirectory(temp);
    const spool::Directory spoolDir = openSpool(dir);
    const std::vector<uint8_t> head(10, 1);
    const std::vector<uint8_t> tail(100000, 7);
    ASSERT_TRUE(spool::writeAtomically(spoolDir, "input-1.png", {head, tail}));
    std::vector<uint8_t> whole = head;
    whole.insert(whole.end(), tail.begin(), tail.end());
    EXPECT_EQ(spool::readWhole(spoolDir, "input-1.png"), whole);
    EXPECT_EQ(entryNames(dir).size(), 1u);
    struct stat info {};
    ASSERT_EQ(::stat((dir + "/input-1.png").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // The target is a directory: the rename fails and the temporary file goes.
    std::filesystem::create_directories(dir + "/input-3.png/x");
    EXPECT_FALSE(spool::writeAtomically(spoolDir, "input-3.png", tail.data(), tail.size()));
    EXPECT_EQ(entryNames(dir).size(), 2u);
    EXPECT_EQ(spool::readWhole(spoolDir, "input-3.png"), std::nullopt);
    EXPECT_EQ(spool::readWhole(spoolDir, "nothing"), std::nullopt);
}
