// Runs the main job (scripts/round-trip.sh, the service road), in the demo editor and in each
// GIMP, and checks what it left behind:
// the sign-in in the keyring and its rotation, that no refresh token reached the page or a
// log, that storage got the frame with the signed content type, and that the document holds
// the service's result.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "e2e/road_output.h"
#include "imaging/png.h"
#include "lumivo_test_paths.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

std::vector<json> jsonLines(const fs::path& path) {
    std::vector<json> lines;
    std::istringstream in(readText(path));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(json::parse(line, nullptr, false));
    }
    return lines;
}

fs::path onlyFileIn(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files.push_back(entry.path());
    }
    EXPECT_EQ(files.size(), 1u) << folder;
    return files.empty() ? fs::path() : files.front();
}

// Pixels whose premultiplied colour or whose alpha differ by more than a rounding step.
size_t differingPixels(const PixelBuffer& a, const PixelBuffer& b) {
    size_t wrong = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4) {
        const int alphaA = a.rgba[i + 3], alphaB = b.rgba[i + 3];
        bool differs = std::abs(alphaA - alphaB) > 1;
        for (size_t c = 0; c < 3 && !differs; ++c) {
            differs = std::abs(a.rgba[i + c] * alphaA - b.rgba[i + c] * alphaB) > 2 * 255;
        }
        wrong += differs;
    }
    return wrong;
}

// One run of the road, checked four ways.
class ServiceRoad : public ::testing::Test {
  protected:
    // Runs the road with `arguments` into the build's folder `outName`; `editorLog` is the
    // editor's log there.
    void runAndCheck(const std::string& arguments, const std::string& outName,
                     const std::string& editorLog);
    void keyringHoldsTheSignInAndThenTheRotatedToken();
    void noRefreshTokenReachesThePageOrALog();
    void storageReceivedTheFrameWithTheSignedContentType();
    void documentEqualsTheResultFittedToTheArea();

    fs::path record() const { return out_ / "sandbox" / "service-record"; }
    json keyring(const char* when) const {
        return json::parse(readText(out_ / (std::string("keyring-") + when + ".json")), nullptr,
                           false);
    }
    // The refresh tokens the service handed out, sign-in first.
    std::vector<std::string> refreshTokens(const char* event) const {
        std::vector<std::string> tokens;
        for (const json& line : jsonLines(record() / "refresh-tokens.jsonl")) {
            if (line.value("event", "") == event) {
                tokens.push_back(line.value("token", ""));
            }
        }
        return tokens;
    }

    fs::path out_;
    std::string editorLog_;
};

void ServiceRoad::keyringHoldsTheSignInAndThenTheRotatedToken() {
    const json early = keyring("after-sign-in");
    ASSERT_TRUE(early.is_object()) << readText(out_ / "keyring-after-sign-in.json");
    EXPECT_EQ(early.value("tokenEndpoint", ""), "https://auth.lumivo.example/oauth/token");
    EXPECT_EQ(early.value("clientId", ""), "lumivo-panel");

    const std::vector<std::string> signIns = refreshTokens("sign-in");
    const std::vector<std::string> rotated = refreshTokens("rotated");
    ASSERT_EQ(signIns.size(), 1u);
    ASSERT_FALSE(rotated.empty()) << "the road never refreshed";
    const json late = keyring("at-end");
    EXPECT_EQ(late.value("refreshToken", ""), rotated.back());
    EXPECT_NE(late.value("refreshToken", ""), signIns.front());
    EXPECT_EQ(late.value("tokenEndpoint", ""), early.value("tokenEndpoint", "")) << "kept as read";
}

void ServiceRoad::noRefreshTokenReachesThePageOrALog() {
    const std::string page = readText(record() / "page-received.txt");
    ASSERT_NE(page.find("accessToken"), std::string::npos) << "the page's record is empty";
    const std::vector<fs::path> logs = {
        out_ / "panel.log",
        out_ / editorLog_,
        out_ / "sandbox" / "service.log",
        out_ / "sandbox" / "notifications.jsonl",
        out_ / "sandbox" / "browser.log",
    };
    // The sign-in token passes through the page once, on its way to the panel; a rotated one
    // never does.
    for (const std::string& token : refreshTokens("rotated")) {
        EXPECT_EQ(page.find(token), std::string::npos) << "a rotated token reached the page";
    }
    std::vector<std::string> every = refreshTokens("rotated");
    every.push_back(refreshTokens("sign-in").at(0));
    for (const fs::path& log : logs) {
        const std::string text = readText(log);
        EXPECT_FALSE(text.empty()) << log;
        for (const std::string& token : every) {
            EXPECT_EQ(text.find(token), std::string::npos) << "a refresh token in " << log;
        }
    }
}

void ServiceRoad::storageReceivedTheFrameWithTheSignedContentType() {
    size_t stored = 0;
    for (const json& line : jsonLines(record() / "requests.jsonl")) {
        if (line.contains("stored")) {
            ++stored;
            EXPECT_EQ(line.value("contentType", ""), "image/png");
        }
    }
    EXPECT_EQ(stored, 1u);
    const PixelBuffer before = readPng(out_ / "before.png");
    const PixelBuffer upload = readPng(onlyFileIn(record() / "uploads"));
    ASSERT_FALSE(before.empty());
    ASSERT_EQ(upload.width, before.width);
    ASSERT_EQ(upload.height, before.height);
    EXPECT_EQ(differingPixels(upload, before), 0u) << "the upload is not the frame";
}

void ServiceRoad::documentEqualsTheResultFittedToTheArea() {
    const PixelBuffer after = readPng(out_ / "after.png");
    const PixelBuffer result = readPng(onlyFileIn(record() / "results"));
    ASSERT_FALSE(after.empty());
    ASSERT_FALSE(result.empty());
    const PixelBuffer fitted = png::fitCover(result, after.width, after.height);
    EXPECT_EQ(differingPixels(after, fitted), 0u);
    // The background removal made part of the document transparent.
    size_t clear = 0;
    for (size_t i = 3; i < after.rgba.size(); i += 4) {
        clear += after.rgba[i] == 0;
    }
    EXPECT_GT(clear, 0u);
    EXPECT_LT(clear, size_t{after.width} * after.height);
}

void ServiceRoad::runAndCheck(const std::string& arguments, const std::string& outName,
                              const std::string& editorLog) {
    out_ = fs::path(LUMIVO_BINARY_DIR) / outName;
    editorLog_ = editorLog;
    fs::remove_all(out_);
    const std::string command = std::string("bash ") + LUMIVO_SOURCE_DIR +
                                "/scripts/round-trip.sh " + arguments + " --no-build --build " +
                                LUMIVO_BINARY_DIR + " --out " + out_.string();
    ASSERT_EQ(std::system(command.c_str()), 0) << "see " << out_;
    {
        SCOPED_TRACE("keyring");
        keyringHoldsTheSignInAndThenTheRotatedToken();
    }
    {
        SCOPED_TRACE("refresh tokens");
        noRefreshTokenReachesThePageOrALog();
    }
    {
        SCOPED_TRACE("storage");
        storageReceivedTheFrameWithTheSignedContentType();
    }
    {
        SCOPED_TRACE("document");
        documentEqualsTheResultFittedToTheArea();
    }
}

TEST_F(ServiceRoad, SignsInUploadsMakesACreationAndAppliesIt) {
    runAndCheck("", "service-road-e2e", "host.log");
}

// The same road inside each GIMP this build has a bridge for (--editor gimp, gimp3), on a
// layer with alpha; GIMP exports the image at the end.
class GimpServiceRoad : public ServiceRoad, public ::testing::WithParamInterface<std::string> {};

TEST_P(GimpServiceRoad, SignsInUploadsMakesACreationAndAppliesItToTheLayer) {
    runAndCheck("--editor " + GetParam(), "service-road-" + GetParam() + "-e2e", "gimp.log");
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(GimpServiceRoad);
INSTANTIATE_TEST_SUITE_P(Gimp, GimpServiceRoad, ::testing::ValuesIn(gimpEditors()),
                         [](const auto& editor) { return editor.param; });

}  // namespace
