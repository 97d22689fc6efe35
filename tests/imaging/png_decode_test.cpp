#include <gtest/gtest.h>

#include <libdeflate.h>
#include <turbojpeg.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "imaging/decoders.h"
#include "imaging/png.h"
#include "imaging/premultiply.h"
#include "lumivo_test_paths.h"
#include "test_images.h"

namespace {

using testimg::Bytes;

PixelBuffer decodeBytes(const Bytes& bytes) {
    return png::decode(bytes.data(), bytes.size());
}

struct KindCase {
    const char* name;
    int colorType;
    int depth;
    bool interlaced;
    bool trns;
};

// Builds a file of the given kind and the straight RGBA8 a correct reader must produce.
std::pair<testimg::PngRecipe, PixelBuffer> makeKind(const KindCase& k) {
    testimg::PngRecipe recipe;
    recipe.width = 11;
    recipe.height = 9;
    recipe.colorType = k.colorType;
    recipe.bitDepth = k.depth;
    recipe.interlaced = k.interlaced;
    const int channels = k.colorType == 0 || k.colorType == 3 ? 1
                         : k.colorType == 4                   ? 2
                         : k.colorType == 2                   ? 3
                                                              : 4;
    const size_t rowBytes = (size_t{recipe.width} * channels * k.depth + 7) / 8;
    recipe.samples.assign(rowBytes * recipe.height, 0);
    PixelBuffer expected{recipe.width, recipe.height,
                         std::vector<uint8_t>(recipe.width * recipe.height * 4)};

    const unsigned levels = k.depth >= 8 ? 256 : (1u << k.depth);
    if (k.colorType == 3) {
        for (unsigned i = 0; i < levels; ++i) {
            recipe.palette.insert(recipe.palette.end(),
                                  {uint8_t(i * 40), uint8_t(255 - i * 15), uint8_t(i * 9)});
            if (k.trns) {
                recipe.trns.push_back(uint8_t(i * 17));
            }
        }
    }
    auto put = [&](size_t y, size_t sampleIndex, unsigned value) {
        uint8_t* row = &recipe.samples[y * rowBytes];
        if (k.depth == 16) {
            row[sampleIndex * 2] = uint8_t(value >> 8);
            row[sampleIndex * 2 + 1] = uint8_t(value);
        } else if (k.depth == 8) {
            row[sampleIndex] = uint8_t(value);
        } else {
            size_t bit = sampleIndex * k.depth;
            row[bit / 8] |= uint8_t(value << (8 - k.depth - bit % 8));
        }
    };
    for (uint32_t y = 0; y < recipe.height; ++y) {
        for (uint32_t x = 0; x < recipe.width; ++x) {
            unsigned n = x * 7 + y * 13 + 3;
            uint8_t* e = &expected.rgba[(size_t{y} * recipe.width + x) * 4];
            size_t s = size_t{x} * channels;
            if (k.colorType == 3) {
                unsigned index = n % std::min(levels, 16u);
                put(y, s, index);
                e[0] = recipe.palette[index * 3];
                e[1] = recipe.palette[index * 3 + 1];
                e[2] = recipe.palette[index * 3 + 2];
                e[3] = k.trns ? recipe.trns[index] : 255;
                continue;
            }
            const int colours = (k.colorType & 2) ? 3 : 1;
            for (int c = 0; c < colours; ++c) {
                unsigned v8;
                if (k.depth < 8) {
                    unsigned v = (n + c) % levels;
                    put(y, s + c, v);
                    v8 = v * 255 / (levels - 1);
                } else {
                    v8 = (n * 37 + c * 50) & 255;
                    put(y, s + c, k.depth == 16 ? v8 * 257 : v8);
                }
                e[c] = uint8_t(v8);
                if (colours == 1) {
                    e[1] = e[2] = e[0];
                }
            }
            e[3] = 255;
            if (k.colorType & 4) {
                unsigned a8 = (n * 91) & 255;
                put(y, s + colours, k.depth == 16 ? a8 * 257 : a8);
                e[3] = uint8_t(a8);
            }
        }
    }
    if (k.trns && k.colorType != 3) {
        // The key is the first pixel's colour: every pixel of that colour becomes transparent.
        const uint8_t* first = expected.rgba.data();
        int colours = k.colorType == 2 ? 3 : 1;
        unsigned maxValue = k.depth == 16 ? 65535 : (1u << k.depth) - 1;
        for (int c = 0; c < colours; ++c) {
            unsigned v = k.depth == 16 ? first[c] * 257u : first[c] * maxValue / 255;
            recipe.trns.push_back(uint8_t(v >> 8));
            recipe.trns.push_back(uint8_t(v));
        }
        std::vector<uint8_t> key(first, first + 3);
        for (size_t i = 0; i < expected.rgba.size(); i += 4) {
            if (std::equal(key.begin(), key.end(), &expected.rgba[i])) {
                expected.rgba[i + 3] = 0;
            }
        }
    }
    imaging::canvasRoundTripInPlace(expected.rgba.data(), expected.rgba.size() / 4);
    return {recipe, expected};
}

TEST(PngDecode, EveryKindGivesRgba8ThroughTheCanvas) {
    const KindCase kinds[] = {
        {"gray1", 0, 1, false, false},      {"gray2", 0, 2, false, false},
        {"gray4", 0, 4, true, false},       {"gray8", 0, 8, false, false},
        {"gray8 key", 0, 8, false, true},   {"gray16", 0, 16, false, false},
        {"graya8", 4, 8, false, false},     {"graya16", 4, 16, true, false},
        {"rgb8", 2, 8, false, false},       {"rgb8 key", 2, 8, false, true},
        {"rgb16", 2, 16, false, false},     {"rgba8", 6, 8, false, false},
        {"rgba8 adam7", 6, 8, true, false}, {"rgba16", 6, 16, false, false},
        {"pal1", 3, 1, false, false},       {"pal2 trns", 3, 2, false, true},
        {"pal4 trns", 3, 4, true, true},    {"pal8 trns", 3, 8, false, true},
    };
    for (const auto& k : kinds) {
        auto [recipe, expected] = makeKind(k);
        Bytes file = testimg::writePng(recipe);
        PixelBuffer image = decodeBytes(file);
        ASSERT_EQ(image.width, expected.width) << k.name;
        ASSERT_EQ(image.height, expected.height) << k.name;
        EXPECT_TRUE(image.rgba == expected.rgba) << k.name;
    }
}

TEST(PngDecode, TransparentPixelsComeOutBlank) {
    testimg::PngRecipe recipe;
    recipe.width = 2;
    recipe.height = 1;
    recipe.samples = {200, 100, 50, 0, 1, 2, 3, 0};
    PixelBuffer image = decodeBytes(testimg::writePng(recipe));
    EXPECT_EQ(image.rgba, std::vector<uint8_t>(8, 0));
}

uint8_t decodedMidGrey(testimg::PngRecipe recipe) {
    recipe.width = 1;
    recipe.height = 1;
    recipe.colorType = 2;
    recipe.samples = {128, 128, 128};
    PixelBuffer image = decodeBytes(testimg::writePng(recipe));
    EXPECT_FALSE(image.empty());
    return image.empty() ? 0 : image.rgba[0];
}

TEST(PngDecode, ColourTagsAreConvertedToSrgb) {
    // Linear-light 128 is sRGB 188.
    testimg::PngRecipe linearIcc;
    linearIcc.iccProfile = testimg::linearRgbProfile();
    EXPECT_NEAR(decodedMidGrey(linearIcc), 188, 1);
    testimg::PngRecipe linearGamma;
    linearGamma.gamma = 1.0;
    EXPECT_NEAR(decodedMidGrey(linearGamma), 188, 1);
    // sRGB itself, by chunk, by profile or by the usual 1/2.2 gamma: unchanged.
    testimg::PngRecipe srgbChunk;
    srgbChunk.srgbChunk = true;
    EXPECT_EQ(decodedMidGrey(srgbChunk), 128);
    testimg::PngRecipe srgbIcc;
    srgbIcc.iccProfile = testimg::srgbProfile();
    EXPECT_NEAR(decodedMidGrey(srgbIcc), 128, 1);
    testimg::PngRecipe usualGamma;
    usualGamma.gamma = 1 / 2.2;
    EXPECT_EQ(decodedMidGrey(usualGamma), 128);
}

TEST(PngDecode, JpegDecodesLikeTurboJpeg) {
    for (bool gray : {false, true}) {
        PixelBuffer source = testimg::patternImage(33, 17, false);
        Bytes jpeg = testimg::writeJpeg(source, gray, 90);
        ASSERT_FALSE(jpeg.empty());
        std::vector<uint8_t> reference(33 * 17 * 4);
        tjhandle tj = tjInitDecompress();
        ASSERT_EQ(
            tjDecompress2(tj, jpeg.data(), jpeg.size(), reference.data(), 33, 0, 17, TJPF_RGBA, 0),
            0);
        tjDestroy(tj);
        PixelBuffer image = decodeBytes(jpeg);
        ASSERT_EQ(image.width, 33u);
        ASSERT_EQ(image.height, 17u);
        EXPECT_TRUE(image.rgba == reference) << "gray " << gray;
    }
}

void setBe32(Bytes& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v >> 24);
    b[at + 1] = uint8_t(v >> 16);
    b[at + 2] = uint8_t(v >> 8);
    b[at + 3] = uint8_t(v);
}

// Rewrites the IHDR size of a PNG, with a valid CRC so only the size is wrong.
Bytes withSize(Bytes file, uint32_t width, uint32_t height) {
    setBe32(file, 16, width);
    setBe32(file, 20, height);
    setBe32(file, 29, libdeflate_crc32(0, file.data() + 12, 17));
    return file;
}

TEST(PngDecode, RefusesWhatIsNotADecodableImage) {
    EXPECT_TRUE(png::decode(nullptr, 0).empty());
    uint8_t none = 0;
    EXPECT_TRUE(png::decode(&none, 0).empty());
    for (uint32_t seed = 1; seed < 20; ++seed) {
        PixelBuffer noise = testimg::patternImage(16, 16, true, seed);
        EXPECT_TRUE(png::decode(noise.rgba.data(), noise.rgba.size()).empty());
    }
    Bytes file = png::encode(testimg::patternImage(300, 200, true));
    for (int tenth = 1; tenth < 10; ++tenth) {
        size_t cut = file.size() * tenth / 10;
        EXPECT_TRUE(png::decode(file.data(), cut).empty()) << "cut at " << cut;
    }
    Bytes garbled = file;
    garbled[garbled.size() / 2] ^= 0x55;
    EXPECT_TRUE(decodeBytes(garbled).empty()) << "the CRC and checksum catch it";
}

TEST(PngDecode, RefusesHugeOrImplausibleSizesBeforeAllocating) {
    Bytes small = png::encode(testimg::patternImage(4, 4, false));
    // Above the limit, at the PNG maximum, and within the limit yet with far too little data
    // for the claimed size: each would otherwise allocate up to gigabytes.
    EXPECT_TRUE(decodeBytes(withSize(small, 16385, 16384)).empty());
    EXPECT_TRUE(decodeBytes(withSize(small, 0x7fffffff, 0x7fffffff)).empty());
    EXPECT_TRUE(decodeBytes(withSize(small, 8192, 8192)).empty());
    EXPECT_TRUE(decodeBytes(withSize(small, 0, 4)).empty());

    PixelBuffer source{1, 1, {1, 2, 3, 255}};
    Bytes jpeg = testimg::writeJpeg(source, false, 90);
    for (size_t i = 0; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = jpeg[i + 6] = jpeg[i + 7] = jpeg[i + 8] = 0xFF;  // 65535 x 65535
            break;
        }
    }
    EXPECT_TRUE(decodeBytes(jpeg).empty());
}

TEST(PngDecode, ALargeRealImageStillDecodes) {
    PixelBuffer big{8192, 8192, std::vector<uint8_t>(size_t{8192} * 8192 * 4, 0)};
    for (size_t i = 0; i < big.rgba.size(); i += 4) {
        big.rgba[i] = uint8_t(i >> 15);
        big.rgba[i + 3] = 255;
    }
    static_assert(uint64_t{8192} * 8192 <= png::kMaxDecodePixels);
    Bytes file = png::encode(big);
    ASSERT_FALSE(file.empty());
    PixelBuffer back = decodeBytes(file);
    EXPECT_EQ(back.width, 8192u);
    EXPECT_TRUE(back.rgba == big.rgba);
}

std::vector<std::filesystem::path> filesIn(const char* folder) {
    std::vector<std::filesystem::path> files;
    auto dir = std::filesystem::path(LUMIVO_SOURCE_DIR) / folder;
    if (std::filesystem::exists(dir)) {
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path());
            }
        }
    }
    return files;
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(PngDecode, FuzzRegressionsDecodeSafely) {
    for (const auto& path : filesIn("fuzz/regressions")) {
        PixelBuffer image = decodeBytes(readFile(path));
        if (!image.empty()) {
            EXPECT_EQ(image.rgba.size(), size_t{image.width} * image.height * 4) << path;
        }
    }
}

TEST(PngDecode, EverySeedFileDecodes) {
    auto files = filesIn("fuzz/corpus");
    EXPECT_FALSE(files.empty());
    for (const auto& path : files) {
        EXPECT_FALSE(decodeBytes(readFile(path)).empty()) << path;
    }
}

}  // namespace

namespace {

TEST(PngDecode, FastPathAgreesWithLibpngOnEveryFilterType) {
    // libpng's writer picks all five filter types across rows; plain RGBA8 with an sRGB chunk
    // (or no colour chunk) is exactly what the fast path takes.
    for (bool srgb : {true, false}) {
        PixelBuffer image = testimg::patternImage(173, 61, true, 7);
        testimg::PngRecipe recipe;
        recipe.width = image.width;
        recipe.height = image.height;
        recipe.samples = image.rgba;
        recipe.srgbChunk = srgb;
        Bytes file = testimg::writePng(recipe);
        PixelBuffer fast;
        ASSERT_TRUE(imaging::decodeOwnPngFast(file.data(), file.size(), fast));
        PixelBuffer reference = imaging::decodePngFile(file.data(), file.size());
        EXPECT_TRUE(fast.rgba == reference.rgba);
        EXPECT_TRUE(fast.rgba == image.rgba);
    }
}

TEST(PngDecode, DecodeFileTellsWhenTheBytesStandForAnEncode) {
    PixelBuffer translucent = testimg::patternImage(37, 23, true, 3);
    PixelBuffer drawn = translucent;
    imaging::canvasRoundTripInPlace(drawn.rgba.data(), drawn.rgba.size() / 4);
    auto libpngFile = [](const PixelBuffer& image, int colorType, auto&& adjust) {
        testimg::PngRecipe recipe;
        recipe.width = image.width;
        recipe.height = image.height;
        recipe.colorType = colorType;
        for (size_t i = 0; i < image.rgba.size(); i += 4) {
            recipe.samples.insert(recipe.samples.end(), &image.rgba[i],
                                  &image.rgba[i] + (colorType == 6 ? 4 : 3));
        }
        recipe.srgbChunk = true;
        adjust(recipe);
        return testimg::writePng(recipe);
    };
    auto same = [](testimg::PngRecipe&) {};
    const PixelBuffer opaque = testimg::patternImage(37, 23, false, 4);
    const struct {
        const char* name;
        Bytes file;
        bool stands;
    } cases[] = {
        {"our opaque file", png::encode(opaque), true},
        {"ours, pixels the canvas keeps", png::encode(drawn), true},
        {"ours, pixels the canvas changes", png::encode(translucent), false},
        {"libpng, plain RGBA8 with sRGB", libpngFile(drawn, 6, same), true},
        {"libpng, RGB8", libpngFile(opaque, 2, same), false},
        {"libpng, interlaced RGBA8",
         libpngFile(drawn, 6, [](testimg::PngRecipe& r) { r.interlaced = true; }), false},
        {"libpng, RGBA8 with a gamma",
         libpngFile(drawn, 6,
                    [](testimg::PngRecipe& r) {
                        r.srgbChunk = false;
                        r.gamma = 0.45455;
                    }),
         false},
        {"JPEG", testimg::writeJpeg(opaque, false, 95), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        png::DecodedFile decoded = png::decodeFile(c.file.data(), c.file.size());
        EXPECT_EQ(decoded.standsForEncode, c.stands);
        EXPECT_TRUE(decoded.image.rgba == decodeBytes(c.file).rgba);
        if (c.stands) {
            // What any reader takes from the bytes is the decoded image.
            PixelBuffer reference = imaging::decodePngFile(c.file.data(), c.file.size());
            EXPECT_TRUE(reference.rgba == decoded.image.rgba);
        }
    }
}

TEST(PngDecode, DenseButIntactJpegStillDecodes) {
    // A flat progressive JPEG holds hundreds of pixels per byte; it must pass the extra
    // integrity check that such files get, and a truncated copy must not.
    PixelBuffer flat{2048, 2048, std::vector<uint8_t>(size_t{2048} * 2048 * 4, 200)};
    Bytes jpeg = testimg::writeJpeg(flat, false, 90, true);
    ASSERT_GT(size_t{2048} * 2048, jpeg.size() * imaging::kDenseJpegPixelsPerByte)
        << "not dense enough to test the check";
    PixelBuffer image = png::decode(jpeg.data(), jpeg.size());
    ASSERT_EQ(image.width, 2048u);
    EXPECT_NEAR(image.rgba[4 * 1000], 200, 1);
    EXPECT_TRUE(png::decode(jpeg.data(), jpeg.size() * 2 / 3).empty());
}

TEST(PngDecode, JpegProfileIsApplied) {
    PixelBuffer grey{16, 16, {}};
    for (int i = 0; i < 256; ++i) {
        grey.rgba.insert(grey.rgba.end(), {128, 128, 128, 255});
    }
    Bytes jpeg = testimg::writeJpeg(grey, false, 95);
    Bytes profile = testimg::linearRgbProfile();
    // An APP2 segment right after SOI: "ICC_PROFILE\0", sequence 1 of 1, the profile.
    Bytes segment = {0xFF, 0xE2, 0, 0};
    const char tag[] = "ICC_PROFILE";
    segment.insert(segment.end(), tag, tag + 12);
    segment.insert(segment.end(), {1, 1});
    segment.insert(segment.end(), profile.begin(), profile.end());
    size_t length = segment.size() - 2;
    segment[2] = uint8_t(length >> 8);
    segment[3] = uint8_t(length);
    Bytes tagged(jpeg.begin(), jpeg.begin() + 2);
    tagged.insert(tagged.end(), segment.begin(), segment.end());
    tagged.insert(tagged.end(), jpeg.begin() + 2, jpeg.end());

    PixelBuffer plain = png::decode(jpeg.data(), jpeg.size());
    PixelBuffer converted = png::decode(tagged.data(), tagged.size());
    ASSERT_FALSE(plain.empty());
    ASSERT_FALSE(converted.empty());
    EXPECT_NEAR(plain.rgba[0], 128, 2);
    EXPECT_NEAR(converted.rgba[0], 188, 3);  // linear-light 128 is sRGB 188
}

}  // namespace
