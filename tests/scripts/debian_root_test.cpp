// scripts/debian-root.sh as its callers see it: the packages each release's root gets, the
// cache entry that follows the list, usage errors, and, where the Debian 13 root is already
// cached on this machine, what a command finds in the fresh root it runs in.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "command_run.h"
#include "lumivo_test_paths.h"

namespace {

namespace fs = std::filesystem;

CommandRun debianRoot(const std::string& arguments) {
    return runCommand(std::string("bash ") + LUMIVO_SOURCE_DIR + "/scripts/debian-root.sh " +
                      arguments);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        result.push_back(text.substr(start, end - start));
    }
    return result;
}

bool contains(const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

// Whether a process of this machine runs exactly this command line.
bool running(const std::string& commandLine) {
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        std::string line((std::istreambuf_iterator<char>(in)), {});
        std::replace(line.begin(), line.end(), '\0', ' ');
        if (line == commandLine + " ") {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(DebianRoot, EachReleaseGetsTheMachinesPackagesUnderItsOwnNames) {
    struct Case {
        const char* release;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    };
    const Case cases[] = {
        {"trixie",
         {"clang-19", "libclang-rt-19-dev", "libfuzzer-19-dev", "libgimp-3.0-dev", "gimp", "cmake",
          "ca-certificates"},
         {"clang-14", "libfuzzer-14-dev", "libgimp2.0-dev", "clang-format", "mmdebstrap", "uidmap",
          "lintian"}},
        {"bookworm",
         {"clang-14", "libgimp2.0-dev", "gimp", "cmake"},
         {"clang-19", "libgimp-3.0-dev", "clang-format", "mmdebstrap", "uidmap"}},
    };
    for (const Case& c : cases) {
        const CommandRun run =
            debianRoot(std::string("--release ") + c.release + " --print-packages");
        ASSERT_EQ(run.status, 0) << run.output;
        const std::vector<std::string> list = lines(run.output);
        for (const std::string& name : c.present) {
            EXPECT_TRUE(contains(list, name)) << c.release << ": " << name;
        }
        for (const std::string& name : c.absent) {
            EXPECT_FALSE(contains(list, name)) << c.release << ": " << name;
        }
        std::vector<std::string> sorted = list;
        std::sort(sorted.begin(), sorted.end());
        sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
        EXPECT_EQ(list, sorted) << c.release << ": sorted, each name once";
    }
}

TEST(DebianRoot, AGivenListReplacesTheMachinesAndNamesItsOwnCacheEntry) {
    const CommandRun given = debianRoot("--packages 'zlib1g-dev,cmake  gimp' --print-packages");
    ASSERT_EQ(given.status, 0) << given.output;
    EXPECT_EQ(lines(given.output), (std::vector<std::string>{"cmake", "gimp", "zlib1g-dev"}));

    const std::string cache = "--cache /nonexistent/lumivo-test ";
    const std::string trixie = debianRoot(cache + "--print-path").output;
    EXPECT_EQ(trixie.rfind("/nonexistent/lumivo-test/trixie-", 0), 0u) << trixie;
    EXPECT_EQ(debianRoot(cache + "--print-path").output, trixie) << "the same list, the same root";
    EXPECT_NE(debianRoot(cache + "--packages gimp --print-path").output, trixie);
    EXPECT_NE(debianRoot(cache + "--release bookworm --print-path").output, trixie);

    // A named root lies beside the project's, and what it only downloads is part of its key.
    const std::string named = debianRoot(cache + "--name package --print-path").output;
    EXPECT_EQ(named.rfind("/nonexistent/lumivo-test/package-trixie-", 0), 0u) << named;
    const std::string downloads =
        debianRoot(cache + "--name package --download gimp --print-path").output;
    EXPECT_EQ(downloads.rfind("/nonexistent/lumivo-test/package-trixie-", 0), 0u) << downloads;
    EXPECT_NE(downloads, named);
    EXPECT_EQ(debianRoot(cache + "--name package --download 'gimp, gimp' --print-path").output,
              downloads)
        << "the same downloads in another spelling, the same root";
}

TEST(DebianRoot, WrongUseIsAUsageError) {
    for (const char* arguments :
         {"--release sid --print-path", "", "--frobnicate -- true", "--name trixie --print-path",
          "--name ../x --print-path", "--name Package --print-path"}) {
        EXPECT_EQ(debianRoot(arguments).status, 2) << arguments;
    }
    const CommandRun help = debianRoot("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("usage: scripts/debian-root.sh"), std::string::npos);
}

TEST(DebianRoot, ACommandRunsInAFreshRootOfItsOwnWithTheProjectAtItsPath) {
    if (getenv("LUMIVO_DEBIAN_ROOT") != nullptr) {
        GTEST_SKIP() << "already inside a Debian root";
    }
    std::string tree = debianRoot("--print-path").output;
    tree.erase(tree.find_last_not_of('\n') + 1);
    if (!fs::is_directory(tree)) {
        GTEST_SKIP() << "no Debian 13 root cached on this machine yet (" << tree << ")";
    }
    const CommandRun first = debianRoot(
        "--env LUMIVO_PROBE=42 -- sh -c 'touch /etc/lumivo-probe; . /etc/os-release; "
        "echo \"$VERSION_CODENAME $LUMIVO_DEBIAN_ROOT $LUMIVO_PROBE $HOME $(pwd)\" "
        "\"$(ls -A /root | wc -l) $(ls -A /tmp)\"; sleep 987 & exit 7'");
    EXPECT_EQ(first.status, 7) << first.output;
    // The folder it was started in when that lies in the project's folder, an empty home, and
    // a /tmp that holds only the display's socket folder.
    const std::string here = fs::current_path().string();
    const std::string start = here.rfind(std::string(LUMIVO_SOURCE_DIR) + "/", 0) == 0 ? here : "/";
    const std::string expected = "trixie trixie 42 /root " + start + " 0 .X11-unix\n";
    EXPECT_NE(first.output.find(expected), std::string::npos) << first.output;
    EXPECT_FALSE(running("sleep 987")) << "what the command left running ends with it";

    const CommandRun second =
        debianRoot("-- sh -c 'test -e /etc/lumivo-probe && echo kept || echo gone'");
    EXPECT_EQ(second.status, 0);
    EXPECT_NE(second.output.find("gone"), std::string::npos) << "each command gets a fresh root";
}
