#include "plugin/filter_invoke.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>

#include "imaging/png.h"
#include "imaging/png_text.h"
#include "marked_png.h"
#include "plugin/picture_mark.h"
#include "plugin/spool.h"
#include "temp_dir.h"

namespace {

constexpr double kNow = 1700000000.0;

// An image whose red channel is the column and green the row, so crops are visible.
PixelBuffer gradient(uint32_t width, uint32_t height) {
    PixelBuffer image;
    image.width = width;
    image.height = height;
    image.rgba.resize(size_t{width} * height * 4);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = &image.rgba[(size_t{y} * width + x) * 4];
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(y);
            p[2] = 50;
            p[3] = 255;
        }
    }
    return image;
}

void setModified(const std::string& path, double seconds) {
    const timespec times[2] = {{static_cast<time_t>(seconds), 0},
                               {static_cast<time_t>(seconds), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

struct HandOff {
    std::string directory;
    std::vector<uint8_t> file;  // the PNG handed on
    PictureMark mark;
    bool activate = false;

    PixelBuffer image() const { return png::decode(file.data(), file.size()); }
};

// The mark a run is given for its input, and the one the host answers a write with.
constexpr PictureMark kInputMark{1, 2, 20, 20, 3};
constexpr PictureMark kWrittenMark{3, 4, 20, 20, 3};

class FilterInvoke : public ::testing::Test {
  protected:
    FilterInvoke() {
        context.spoolDirectory = spoolDir;
        context.wallSeconds = [] { return kNow; };
        context.handOff = [this](const spool::Directory& directory, std::vector<uint8_t> file,
                                 const PictureMark& mark, bool activate) {
            handOffs.push_back({directory.path(), std::move(file), mark, activate});
            return handOffSucceeds;
        };
    }

    std::string writeResult(const std::string& name, const PixelBuffer& image, double modified,
                            std::optional<PictureMark> mark = std::nullopt) {
        const std::string path = spoolDir + "/" + name;
        std::vector<uint8_t> bytes = png::encode(image);
        if (mark) {
            bytes = markedPng(bytes, *mark);
        }
        writeText(path, std::string(bytes.begin(), bytes.end()));
        setModified(path, modified);
        return path;
    }
    // The run, with a host that takes any output of the input's size.
    int run(PixelBuffer& output) {
        const HostWrite write = [&](PixelBuffer written) -> std::optional<PictureMark> {
            if (written.width != input.width || written.height != input.height) {
                return std::nullopt;
            }
            output = std::move(written);
            return kWrittenMark;
        };
        return filterInvoke(input, kInputMark, write, context);
    }

    TempDir dir;
    const std::string spoolDir = dir / "Lumivo/affinity-8bf-spool/com.example.host";
    PixelBuffer input = gradient(20, 20);
    FilterRunContext context;
    std::vector<HandOff> handOffs;
    bool handOffSucceeds = true;
};

}  // namespace

TEST_F(FilterInvoke, WithNothingWaitingTheInputIsHandedOffWithActivation) {
    for (bool succeeds : {true, false}) {
        handOffSucceeds = succeeds;
        handOffs.clear();
        PixelBuffer output;
        EXPECT_EQ(run(output), succeeds ? 1 : 2);
        ASSERT_EQ(handOffs.size(), 1u);
        EXPECT_TRUE(handOffs[0].activate);
        EXPECT_EQ(handOffs[0].directory, spoolDir);
        EXPECT_EQ(handOffs[0].image().rgba, input.rgba);
        EXPECT_EQ(handOffs[0].mark, kInputMark);
        EXPECT_TRUE(output.empty());
    }
    struct stat info {};
    ASSERT_EQ(::stat(spoolDir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(FilterInvoke, TheNewestResultIsAppliedAndEveryResultRemoved) {
    PixelBuffer older = gradient(20, 20);
    PixelBuffer newer = gradient(20, 20);
    newer.rgba[2] = 99;
    std::filesystem::create_directories(spoolDir);
    writeResult("result-9.png", older, kNow - 20);  // larger stamp, older file
    writeResult("result-1.png", newer, kNow - 10);
    writeText(spoolDir + "/result-5.PNG", "not a candidate");
    std::filesystem::create_directory(spoolDir + "/result-6.png");
    std::filesystem::create_symlink(spoolDir + "/result-1.png", spoolDir + "/result-7.png");

    PixelBuffer output;
    EXPECT_EQ(run(output), 0);
    EXPECT_EQ(output.rgba, newer.rgba);
    // Only the result files go: what merely looks like one is never entered or removed.
    EXPECT_EQ(entryNames(spoolDir),
              (std::vector<std::string>{"result-5.PNG", "result-6.png", "result-7.png"}));
    ASSERT_EQ(handOffs.size(), 1u);
    EXPECT_FALSE(handOffs[0].activate);
    EXPECT_EQ(handOffs[0].image().rgba, newer.rgba);
    EXPECT_EQ(handOffs[0].mark, kWrittenMark) << "the mark of what the host now holds";
}

TEST_F(FilterInvoke, OnlyNonCandidatesWaitingMeansNothingWaiting) {
    std::filesystem::create_directories(spoolDir + "/result-2.png");
    writeText(spoolDir + "/result-1.PNG", "x");
    std::filesystem::create_symlink("/etc/hostname", spoolDir + "/result-3.png");
    PixelBuffer output;
    EXPECT_EQ(run(output), 1);
    EXPECT_TRUE(handOffs.at(0).activate);
}

TEST_F(FilterInvoke, AResultOlderThanFifteenMinutesIsDiscardedUnapplied) {
    struct Case {
        double age;
        int outcome;
    };
    for (const Case& c : {Case{899, 0}, Case{901, 1}}) {
        SCOPED_TRACE(c.age);
        handOffs.clear();
        std::filesystem::create_directories(spoolDir);
        writeResult("result-1.png", gradient(20, 20), kNow - c.age);
        PixelBuffer output;
        EXPECT_EQ(run(output), c.outcome);
        EXPECT_TRUE(entryNames(spoolDir).empty());
        ASSERT_EQ(handOffs.size(), 1u);
        EXPECT_EQ(handOffs[0].activate, c.outcome == 1);
        EXPECT_EQ(output.empty(), c.outcome == 1);
    }
}

TEST_F(FilterInvoke, AGarbageResultFailsOnceAndIsGone) {
    std::filesystem::create_directories(spoolDir);
    writeText(spoolDir + "/result-1.png", "this is not a png");
    PixelBuffer output;
    EXPECT_EQ(run(output), 2);
    EXPECT_TRUE(entryNames(spoolDir).empty());
    EXPECT_TRUE(handOffs.empty());
    EXPECT_EQ(run(output), 1);  // the next run starts clean
}

TEST_F(FilterInvoke, AResultOfAnotherSizeIsCoverFitted) {
    std::filesystem::create_directories(spoolDir);
    writeResult("result-1.png", gradient(40, 20), kNow);  // scale 1, 10 columns cut each side
    PixelBuffer output;
    ASSERT_EQ(run(output), 0);
    ASSERT_EQ(output.width, 20u);
    ASSERT_EQ(output.height, 20u);
    EXPECT_EQ(output.rgba[0], 10);                   // first column came from column 10
    EXPECT_EQ(output.rgba[(19 * 20 + 19) * 4], 29);  // last from column 29
    EXPECT_EQ(output.rgba[(19 * 20 + 19) * 4 + 1], 19);
}

TEST_F(FilterInvoke, ThePanelGetsTheResultFileAsItIsOnlyWhenItHoldsExactlyTheOutput) {
    PixelBuffer translucent = gradient(20, 20);
    translucent.rgba[3] = 0;  // a coloured transparent pixel: drawn, it comes out blank
    const struct {
        const char* name;
        PixelBuffer result;
        bool passedOn;
    } cases[] = {
        {"plain, the input's size", gradient(20, 20), true},
        {"another size", gradient(40, 20), false},
        {"pixels the drawing changes", translucent, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        handOffs.clear();
        std::filesystem::create_directories(spoolDir);
        const std::string path = writeResult("result-1.png", c.result, kNow);
        const std::optional<std::vector<uint8_t>> bytes = spool::readWhole(path);
        PixelBuffer output;
        ASSERT_EQ(run(output), 0);
        // What a decode and a fit make of the file, byte for byte.
        const PixelBuffer expected =
            png::fitCover(png::decode(bytes->data(), bytes->size()), 20, 20);
        EXPECT_EQ(output.rgba, expected.rgba);
        ASSERT_EQ(handOffs.size(), 1u);
        EXPECT_EQ(handOffs[0].file == *bytes, c.passedOn);
        EXPECT_EQ(handOffs[0].image().rgba, expected.rgba);
    }
}

TEST_F(FilterInvoke, ASpoolDirectoryThatIsALinkIsRefusedAndWhatItPointsAtIsLeftAlone) {
    std::filesystem::create_directories(spoolDir);
    std::filesystem::remove(spoolDir);
    const std::string documents = dir / "Documents";
    writeText(documents + "/result-keep.txt", "mine");
    writeText(documents + "/result-subdir/photo.png", "mine");
    std::filesystem::create_directory_symlink(documents, spoolDir);
    writeResult("result-1.png", gradient(20, 20), kNow);  // lands in Documents
    std::vector<std::string> reasons;
    context.reportFailure = [&reasons](const std::string& reason) { reasons.push_back(reason); };

    PixelBuffer output;
    EXPECT_EQ(run(output), 2);
    EXPECT_TRUE(output.empty());
    EXPECT_TRUE(handOffs.empty());
    EXPECT_EQ(entryNames(documents),
              (std::vector<std::string>{"result-1.png", "result-keep.txt", "result-subdir"}));
    EXPECT_TRUE(std::filesystem::exists(documents + "/result-subdir/photo.png"));
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_NE(reasons[0].find("spool directory refused: "), std::string::npos) << reasons[0];
    EXPECT_NE(reasons[0].find("is a symbolic link"), std::string::npos) << reasons[0];
}

TEST_F(FilterInvoke, AnotherUsersResultIsNeverApplied) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can hand files to another user";
    }
    // Someone else made the spool directory first, open to all, and planted a result in it.
    std::filesystem::create_directories(spoolDir);
    writeResult("result-1.png", gradient(20, 20), kNow);
    ::chmod(spoolDir.c_str(), 0777);
    ASSERT_EQ(::chown((spoolDir + "/result-1.png").c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown(spoolDir.c_str(), 65534, 65534), 0);
    PixelBuffer output;
    EXPECT_EQ(run(output), 2);
    EXPECT_TRUE(handOffs.empty());

    // In the user's own directory, a planted file of another user's is not read either.
    ASSERT_EQ(::chown(spoolDir.c_str(), 0, 0), 0);
    EXPECT_EQ(run(output), 2);
    EXPECT_TRUE(output.empty());
    EXPECT_EQ(std::filesystem::status(spoolDir).permissions(), std::filesystem::perms::owner_all);
}

TEST_F(FilterInvoke, StaleTemporariesOfKilledWritesAreSweptAtTheStartOfARun) {
    std::filesystem::create_directories(spoolDir);
    writeText(spoolDir + "/.input-1.png.Ab12Cd", std::string(1000, 'x'));
    setModified(spoolDir + "/.input-1.png.Ab12Cd", kNow - 3600);
    writeText(spoolDir + "/.result-2.png.Ef34Gh", "being written");
    setModified(spoolDir + "/.result-2.png.Ef34Gh", kNow - 5);
    PixelBuffer output;
    EXPECT_EQ(run(output), 1);
    EXPECT_EQ(entryNames(spoolDir), std::vector<std::string>{".result-2.png.Ef34Gh"});
}

TEST_F(FilterInvoke, AResultIsAppliedOnlyToThePictureItWasMadeFrom) {
    PictureMark anotherPicture = kInputMark;
    anotherPicture.low ^= 1;
    PictureMark anotherSize = kInputMark;
    anotherSize.height = 21;
    const std::vector<uint8_t> plain = png::encode(gradient(20, 20));
    const std::optional<png::TextSplice> unreadable =
        png::spliceText(plain.data(), plain.size(), picture_mark::kKeyword, "xxh3-128:what");
    std::string unreadableFile;
    for (const auto& piece : unreadable->pieces()) {
        unreadableFile.append(piece.begin(), piece.end());
    }
    const struct {
        const char* name;
        std::optional<PictureMark> mark;
        bool unreadableMark;
        bool applied;
    } cases[] = {
        {"made from this picture", kInputMark, false, true},
        {"made from another picture", anotherPicture, false, false},
        {"made from an area of another size", anotherSize, false, false},
        {"from a panel that marks nothing", std::nullopt, false, true},
        {"with a mark that doesn't read", std::nullopt, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        handOffs.clear();
        std::filesystem::remove_all(spoolDir);
        writeResult("result-1.png", gradient(20, 20), kNow, c.mark);
        if (c.unreadableMark) {
            writeText(spoolDir + "/result-1.png", unreadableFile);
        }
        PixelBuffer output;
        EXPECT_EQ(run(output), c.applied ? 0 : 1);
        ASSERT_EQ(handOffs.size(), 1u);
        EXPECT_EQ(handOffs[0].activate, !c.applied);
        // The result stays for the picture it belongs to; this one goes to the panel as if
        // nothing waited.
        EXPECT_EQ(entryNames(spoolDir).size(), c.applied ? 0u : 1u);
        EXPECT_EQ(handOffs[0].mark, c.applied ? kWrittenMark : kInputMark);
        EXPECT_EQ(output.empty(), !c.applied);
    }
}

TEST_F(FilterInvoke, ASpoolDirectorySwappedForALinkAfterItsCheckIsNeverFollowed) {
    // Another user may write the data folder (no sticky bit): right after the run has checked
    // the spool directory, they move it away and put a link to the user's documents there.
    const std::string documents = dir / "Documents";
    writeResult("result-1.png", gradient(20, 20), kNow);
    std::filesystem::create_directories(documents);
    std::filesystem::rename(spoolDir + "/result-1.png", documents + "/result-1.png");
    writeText(documents + "/result-notes.png", "the user's");
    context.wallSeconds = [&] {
        if (!std::filesystem::exists(dir / "moved")) {
            std::filesystem::rename(spoolDir, dir / "moved");
            std::filesystem::create_directory_symlink(documents, spoolDir);
        }
        return kNow;
    };
    // The hand-off writes where the run tells it to, as the real one does.
    context.handOff = [](const spool::Directory& directory, std::vector<uint8_t> file,
                         const PictureMark&, bool) {
        return spool::writeAtomically(directory, "input-1.png", file.data(), file.size());
    };

    PixelBuffer output;
    EXPECT_EQ(run(output), 1) << "what lies behind the link is not a result of ours";
    EXPECT_EQ(entryNames(documents),
              (std::vector<std::string>{"result-1.png", "result-notes.png"}));
    EXPECT_EQ(entryNames(dir / "moved"), std::vector<std::string>{"input-1.png"});
}
