// The matrix/TRC tables behind the document conversion, held to lcms2, which stays the reference
// and keeps every profile the tables don't reproduce.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

#include "imaging/color.h"
#include "imaging/color_reference.h"
#include "imaging/lcms_handles.h"
#include "imaging/matrix_shaper.h"
#include "imaging/matrix_shaper_kernels.h"
#include "imaging/premultiply.h"
#include "test_images.h"

namespace {

using testimg::Bytes;

struct Profile {
    const char* name;
    Bytes bytes;
};

std::vector<Profile> matrixProfiles() {
    return {{"sRGB", testimg::srgbProfile()},
            {"sRGB v2 table", testimg::tabulatedSrgbProfile()},
            {"Display P3", testimg::displayP3Profile()},
            {"Adobe RGB", testimg::adobeRgbProfile()},
            {"ProPhoto", testimg::proPhotoProfile()},
            {"linear", testimg::linearRgbProfile()}};
}

bool convert(PixelBuffer& image, const Bytes& profile, bool toSrgb) {
    return toSrgb ? color::documentToSrgbInPlace(image, profile.data(), profile.size())
                  : color::srgbToDocumentInPlace(image, profile.data(), profile.size());
}

bool convertByLcmsOnly(PixelBuffer& image, const Bytes& profile, bool toSrgb) {
    return toSrgb ? color::reference::documentToSrgbInPlace(image, profile.data(), profile.size())
                  : color::reference::srgbToDocumentInPlace(image, profile.data(), profile.size());
}

// The document profile and sRGB in the order of the conversion.
struct Pair {
    imaging::ProfilePtr document, srgb;
    Pair(const Bytes& profile)
        : document(
              cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()))),
          srgb(cmsCreate_sRGBProfile()) {}
    cmsHPROFILE from(bool toSrgb) const { return toSrgb ? document.get() : srgb.get(); }
    cmsHPROFILE to(bool toSrgb) const { return toSrgb ? srgb.get() : document.get(); }
};

// Every level of every channel (alone and over mid grey), the greys and random colours; opaque.
PixelBuffer everyLevel() {
    PixelBuffer image{256, 8, Bytes(256 * 8 * 4, 255)};
    for (uint32_t v = 0; v < 256; ++v) {
        for (uint32_t row = 0; row < 7; ++row) {
            uint8_t* p = &image.rgba[(row * 256 + v) * 4];
            const uint8_t base = row < 3 ? 0 : 128;
            p[0] = p[1] = p[2] = base;
            p[row % 3] = static_cast<uint8_t>(v);
            if (row == 6) {
                p[0] = p[1] = p[2] = static_cast<uint8_t>(v);
            }
        }
    }
    PixelBuffer random = testimg::patternImage(256, 16, false, 7);
    image.rgba.insert(image.rgba.end(), random.rgba.begin(), random.rgba.end());
    image.height += random.height;
    for (size_t i = 0; i < image.rgba.size(); i += 4) {
        image.rgba[i + 3] = 255;
    }
    return image;
}

TEST(ColorTables, MatchLcmsFloatTransformWithinOneLevelInBothDirections) {
    const PixelBuffer original = everyLevel();
    for (const auto& profile : matrixProfiles()) {
        for (bool toSrgb : {true, false}) {
            SCOPED_TRACE(std::string(profile.name) + (toSrgb ? " to sRGB" : " from sRGB"));
            Pair pair(profile.bytes);
            ASSERT_NE(imaging::buildMatrixShaper(pair.from(toSrgb), pair.to(toSrgb)), nullptr);
            imaging::TransformPtr reference(
                cmsCreateTransform(pair.from(toSrgb), TYPE_RGBA_FLT, pair.to(toSrgb), TYPE_RGBA_FLT,
                                   INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
            ASSERT_TRUE(reference);
            std::vector<float> in(original.rgba.begin(), original.rgba.end());
            for (float& v : in) {
                v /= 255.0f;
            }
            std::vector<float> expected(in.size());
            cmsDoTransform(reference.get(), in.data(), expected.data(),
                           static_cast<cmsUInt32Number>(in.size() / 4));

            PixelBuffer image = original;
            ASSERT_TRUE(convert(image, profile.bytes, toSrgb));
            int worst = 0;
            for (size_t i = 0; i < image.rgba.size(); ++i) {
                const long level =
                    i % 4 == 3 ? 255 : std::lround(std::clamp(expected[i], 0.0f, 1.0f) * 255);
                const int off = std::abs(static_cast<int>(level) - image.rgba[i]);
                ASSERT_LE(off, 1) << "byte " << i << " of " << image.rgba.size();
                worst = std::max(worst, off);
            }
        }
    }
}

TEST(ColorTables, TranslucentPixelsGetTheCanvasRuleOnTheirConvertedColour) {
    const Bytes p3 = testimg::displayP3Profile();
    const uint8_t alphas[] = {0, 1, 2, 17, 128, 254, 255};
    const PixelBuffer opaque = testimg::patternImage(64, 7, false, 3);
    PixelBuffer translucent = opaque;
    for (uint32_t row = 0; row < 7; ++row) {
        for (uint32_t x = 0; x < 64; ++x) {
            translucent.rgba[(row * 64 + x) * 4 + 3] = alphas[row];
        }
    }
    for (bool toSrgb : {true, false}) {
        PixelBuffer a = opaque, b = translucent;
        ASSERT_TRUE(convert(a, p3, toSrgb));
        ASSERT_TRUE(convert(b, p3, toSrgb));
        const uint8_t* canvas = imaging::canvasRoundTripTable().value.data();
        for (size_t i = 0; i < b.rgba.size(); i += 4) {
            const uint8_t alpha = translucent.rgba[i + 3];
            ASSERT_EQ(b.rgba[i + 3], alpha);
            for (int c = 0; c < 3; ++c) {
                ASSERT_EQ(b.rgba[i + c], canvas[alpha * 256 + a.rgba[i + c]]) << i;
            }
        }
    }
}

#if defined(__SSE2__)
TEST(ColorTables, SimdAndPortableKernelsGiveIdenticalBytes) {
    PixelBuffer image = testimg::patternImage(317, 101, true, 11);  // odd count, every alpha
    for (const auto& profile : matrixProfiles()) {
        for (bool toSrgb : {true, false}) {
            Pair pair(profile.bytes);
            auto tables = imaging::buildMatrixShaper(pair.from(toSrgb), pair.to(toSrgb));
            ASSERT_NE(tables, nullptr) << profile.name;
            PixelBuffer portable = image, simd = image;
            const size_t pixels = image.rgba.size() / 4;
            imaging::convertByMatrixShaperPortable(*tables, portable.rgba.data(), pixels);
            imaging::convertByMatrixShaperSse2(*tables, simd.rgba.data(), pixels);
            EXPECT_EQ(portable.rgba, simd.rgba) << profile.name;
        }
    }
}
#endif

TEST(ColorTables, ProfilesTheyDontReproduceGoThroughLcmsAsBefore) {
    imaging::ProfilePtr link;
    {
        Pair p3(testimg::displayP3Profile());
        imaging::TransformPtr t(cmsCreateTransform(p3.document.get(), TYPE_RGB_8, p3.srgb.get(),
                                                   TYPE_RGB_8, INTENT_PERCEPTUAL, 0));
        link.reset(cmsTransform2DeviceLink(t.get(), 4.3, 0));
    }
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(link.get(), nullptr, &size);
    Bytes deviceLink(size);
    cmsSaveProfileToMem(link.get(), deviceLink.data(), &size);

    const Profile others[] = {{"LUT tags", testimg::matrixProfileWithLut()},
                              {"lifted black", testimg::liftedBlackProfile()},
                              {"device link", deviceLink}};
    const PixelBuffer original = testimg::patternImage(40, 30, true, 5);
    for (const auto& profile : others) {
        for (bool toSrgb : {true, false}) {
            SCOPED_TRACE(std::string(profile.name) + (toSrgb ? " to sRGB" : " from sRGB"));
            Pair pair(profile.bytes);
            ASSERT_TRUE(pair.document);
            EXPECT_EQ(imaging::buildMatrixShaper(pair.from(toSrgb), pair.to(toSrgb)), nullptr);
            PixelBuffer ours = original, lcms = original;
            EXPECT_EQ(convert(ours, profile.bytes, toSrgb),
                      convertByLcmsOnly(lcms, profile.bytes, toSrgb));
            EXPECT_EQ(ours.rgba, lcms.rgba);
        }
    }
    // The LUT wins in lcms2: the result is ProPhoto's, not the sRGB of the colorants.
    PixelBuffer viaLut{1, 1, {200, 40, 40, 255}}, viaProPhoto = viaLut;
    ASSERT_TRUE(convert(viaLut, testimg::matrixProfileWithLut(), true));
    ASSERT_TRUE(convert(viaProPhoto, testimg::proPhotoProfile(), true));
    EXPECT_NEAR(viaLut.rgba[0], viaProPhoto.rgba[0], 3);
    EXPECT_GT(viaLut.rgba[0], 220);
}

TEST(ColorTables, BuffersThatDontFitAreRefusedUntouched) {
    const Bytes p3 = testimg::displayP3Profile();
    PixelBuffer shortBuffer = testimg::patternImage(8, 8, true);
    shortBuffer.rgba.resize(shortBuffer.rgba.size() - 4);
    PixelBuffer noHeight{8, 0, {}};
    PixelBuffer noWidth{0, 8, {}};
    for (const PixelBuffer& original : {shortBuffer, noHeight, noWidth}) {
        for (bool toSrgb : {true, false}) {
            PixelBuffer image = original;
            EXPECT_FALSE(convert(image, p3, toSrgb));
            EXPECT_EQ(image.rgba, original.rgba);
        }
    }
}

TEST(ColorTables, LargeImagesSplitAcrossThreadsConvertEveryPixelOnce) {
    const Bytes adobe = testimg::adobeRgbProfile();
    PixelBuffer large = testimg::patternImage(1031, 1025, true, 9);  // above the two-thread size
    PixelBuffer rows = large;
    ASSERT_TRUE(convert(large, adobe, false));
    // The same pixels in bands of 64 rows, each far below the size that brings in a second
    // thread.
    for (uint32_t y = 0; y < rows.height; y += 64) {
        const uint32_t height = std::min(64u, rows.height - y);
        auto first = rows.rgba.begin() + static_cast<ptrdiff_t>(y) * rows.width * 4;
        auto last = first + static_cast<ptrdiff_t>(height) * rows.width * 4;
        PixelBuffer band{rows.width, height, Bytes(first, last)};
        ASSERT_TRUE(convert(band, adobe, false));
        std::copy(band.rgba.begin(), band.rgba.end(), first);
    }
    EXPECT_EQ(large.rgba, rows.rgba);
}

}  // namespace
