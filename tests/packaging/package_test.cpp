// The Debian package this build makes, taken apart: where each file goes and with what mode,
// how the bridge in GIMP's folder reaches the bundle, that nothing of the build's own paths or
// development programs ships, and what the package depends on.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "command_run.h"
#include "lumivo_test_paths.h"

namespace {

namespace fs = std::filesystem;

std::string trimmed(std::string text) {
    text.erase(text.find_last_not_of(" \n") + 1);
    return text;
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The package, made once for the whole suite, and its files unpacked.
class Package : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        work_ = new fs::path(fs::temp_directory_path() /
                             ("lumivo-package-test-" + std::to_string(::getpid())));
        fs::create_directories(*work_);
        const CommandRun cpack = runCommand(
            "cpack --config " LUMIVO_BINARY_DIR "/CPackConfig.cmake -B " + work_->string());
        ASSERT_EQ(cpack.status, 0) << cpack.output;
        for (const fs::directory_entry& entry : fs::directory_iterator(*work_)) {
            if (entry.path().extension() == ".deb") {
                deb_ = new fs::path(entry.path());
            }
        }
        ASSERT_NE(deb_, nullptr) << cpack.output;
        const CommandRun unpack =
            runCommand("dpkg-deb -x " + deb_->string() + " " + (*work_ / "root").string());
        ASSERT_EQ(unpack.status, 0) << unpack.output;
    }

    static void TearDownTestSuite() {
        if (work_ != nullptr) {
            fs::remove_all(*work_);
        }
        delete work_;
        delete deb_;
        work_ = nullptr;
        deb_ = nullptr;
    }

    void SetUp() override {
        if (deb_ == nullptr) {
            GTEST_SKIP() << "no package was made";
        }
    }

    static fs::path root() { return *work_ / "root"; }
    static std::string field(const std::string& name) {
        return trimmed(runCommand("dpkg-deb -f " + deb_->string() + " " + name).output);
    }
    // GIMP's plug-in folder for the bridge, below the unpacked root: the one folder holding a
    // program named after it.
    static fs::path pluginFolder() {
        for (const char* candidate : {"usr/lib/gimp/2.0/plug-ins/lumivo",
                                      "usr/lib/" LUMIVO_TRIPLET "/gimp/3.0/plug-ins/lumivo"}) {
            if (fs::exists(root() / candidate / "lumivo")) {
                return root() / candidate;
            }
        }
        return {};
    }

    static fs::path* work_;
    static fs::path* deb_;
};

fs::path* Package::work_ = nullptr;
fs::path* Package::deb_ = nullptr;

constexpr char kBundle[] = "usr/lib/" LUMIVO_TRIPLET "/lumivo/LumivoFilter.8bf";

TEST_F(Package, PutsEachFileInPlaceWithItsModeAndLinksTheBridgeToTheOneBundle) {
    struct Case {
        std::string path;  // below the bundle when relative to it, else below the root
        mode_t mode;
    };
    const std::string bundle = kBundle;
    const std::string panel = bundle + "/Contents/Resources/LumivoAffinity.app/Contents";
    const Case cases[] = {
        {bundle + "/Contents/Info.ini", 0644},
        // Loaded by the editor, never run.
        {bundle + "/Contents/Linux/LumivoFilter.so", 0644},
        {bundle + "/Contents/Linux/open", 0755},
        {panel + "/Info.ini", 0644},
        {panel + "/Linux/LumivoAffinity", 0755},
        {panel + "/Resources/panel/index.html", 0644},
        {"usr/share/doc/lumivo/README", 0644},
        {"usr/share/doc/lumivo/copyright", 0644},
        {"usr/share/doc/lumivo/changelog.gz", 0644},
    };
    for (const Case& c : cases) {
        struct stat info {};
        ASSERT_EQ(::lstat((root() / c.path).c_str(), &info), 0) << c.path;
        EXPECT_TRUE(S_ISREG(info.st_mode)) << c.path;
        EXPECT_EQ(info.st_mode & 07777, c.mode) << c.path;
    }
    ASSERT_FALSE(pluginFolder().empty()) << "no bridge in GIMP's plug-in folder";
    struct stat bridge {};
    ASSERT_EQ(::lstat((pluginFolder() / "lumivo").c_str(), &bridge), 0);
    EXPECT_EQ(bridge.st_mode & 07777, 0755u);

    // The bridge reaches the one bundle through a relative link beside it.
    const fs::path link = pluginFolder() / "LumivoFilter.8bf";
    ASSERT_TRUE(fs::is_symlink(link));
    const fs::path target = fs::read_symlink(link);
    EXPECT_TRUE(target.is_relative()) << target << ": works wherever the tree is mounted";
    EXPECT_EQ(fs::canonical(pluginFolder() / target), fs::canonical(root() / kBundle));
    // The bundle itself is installed once.
    size_t bundles = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root())) {
        bundles += !entry.is_symlink() && entry.path().filename() == "LumivoFilter.8bf";
    }
    EXPECT_EQ(bundles, 1u);
}

TEST_F(Package, ShipsOnlyStrippedProgramsWithoutBuildPathsAndDependsOnWhatTheyNeed) {
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root())) {
        if (entry.is_symlink() || !entry.is_regular_file()) {
            continue;
        }
        const std::string bytes = readAll(entry.path());
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(bytes.find(LUMIVO_SOURCE_DIR), std::string::npos) << entry.path();
        EXPECT_EQ(bytes.find(LUMIVO_BINARY_DIR), std::string::npos) << entry.path();
        for (const char* development : {"lumivo-host", "lumivo-service", "lumivo-press-menu"}) {
            EXPECT_NE(name, development);
        }
        if (bytes.rfind("\x7f"
                        "ELF",
                        0) == 0) {
            const CommandRun sections = runCommand("readelf -S " + entry.path().string());
            EXPECT_EQ(sections.output.find(".symtab"), std::string::npos) << entry.path();
            EXPECT_EQ(sections.output.find(".debug_info"), std::string::npos) << entry.path();
        }
    }

    // The libraries the programs link, and what runs beside them without being linked.
    const std::string depends = ", " + field("Depends") + ",";
    std::vector<std::string> expected = {"gimp (>=",
                                         "at-spi2-core",
                                         "gnome-keyring",
                                         "ca-certificates",
                                         "libwebkit2gtk-4.1-0",
                                         "libsecret-1-0",
                                         "libxxhash0",
                                         "libcurl4",
                                         "libc6"};
    const bool gimp2 = pluginFolder().string().find("/gimp/2.0/") != std::string::npos;
    if (gimp2) {
        expected.insert(expected.end(),
                        {"libgimp2.0 (", "libatk-adaptor", "libgail-common", "gimp (<< 2.99)"});
    } else {
        expected.insert(expected.end(), {"libgimp-3.0-0", "gimp (>= 3.0)"});
    }
    for (const std::string& name : expected) {
        EXPECT_NE(depends.find(", " + name), std::string::npos) << name << " in " << depends;
    }
    for (const char* absent : {"libgtest", "libbenchmark", "libsoup-3.0-dev", "libopencv"}) {
        EXPECT_EQ(depends.find(absent), std::string::npos) << absent;
    }
    EXPECT_EQ(field("Package"), "lumivo");
    const std::string release = trimmed(runCommand(". /etc/os-release && echo $VERSION_ID").output);
    EXPECT_EQ(field("Version"), "1.0~deb" + release);
}

}  // namespace
