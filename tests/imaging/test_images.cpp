#include "test_images.h"

#include <lcms2.h>
#include <png.h>
#include <turbojpeg.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace testimg {
namespace {

void appendData(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

Bytes saveProfile(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

}  // namespace

Bytes writePng(const PngRecipe& recipe) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("libpng write failed");
    }
    png_set_write_fn(png, &out, appendData, nullptr);
    png_set_IHDR(png, info, recipe.width, recipe.height, recipe.bitDepth, recipe.colorType,
                 recipe.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!recipe.palette.empty()) {
        std::vector<png_color> colors(recipe.palette.size() / 3);
        std::memcpy(colors.data(), recipe.palette.data(), colors.size() * 3);
        png_set_PLTE(png, info, colors.data(), static_cast<int>(colors.size()));
    }
    if (!recipe.trns.empty()) {
        if (recipe.colorType == PNG_COLOR_TYPE_PALETTE) {
            png_set_tRNS(png, info, recipe.trns.data(), static_cast<int>(recipe.trns.size()),
                         nullptr);
        } else {
            png_color_16 key{};
            auto word = [&](size_t i) {
                return static_cast<png_uint_16>((recipe.trns[i * 2] << 8) | recipe.trns[i * 2 + 1]);
            };
            if (recipe.colorType == PNG_COLOR_TYPE_GRAY) {
                key.gray = word(0);
            } else {
                key.red = word(0);
                key.green = word(1);
                key.blue = word(2);
            }
            png_set_tRNS(png, info, nullptr, 0, &key);
        }
    }
    if (!recipe.iccProfile.empty()) {
        png_set_iCCP(png, info, "test", 0, recipe.iccProfile.data(),
                     static_cast<png_uint_32>(recipe.iccProfile.size()));
    }
    if (recipe.gamma > 0) {
        png_set_gAMA(png, info, recipe.gamma);
    }
    if (recipe.srgbChunk) {
        png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    }
    png_write_info(png, info);
    size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<png_bytep> rows(recipe.height);
    for (uint32_t y = 0; y < recipe.height; ++y) {
        rows[y] = const_cast<png_bytep>(recipe.samples.data() + y * rowBytes);
    }
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes writeJpeg(const PixelBuffer& rgb, bool gray, int quality, bool progressive) {
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    int rc =
        tjCompress2(tj, rgb.rgba.data(), static_cast<int>(rgb.width), 0,
                    static_cast<int>(rgb.height), TJPF_RGBA, &jpeg, &size,
                    gray ? TJSAMP_GRAY : TJSAMP_420, quality, progressive ? TJFLAG_PROGRESSIVE : 0);
    Bytes out;
    if (rc == 0) {
        out.assign(jpeg, jpeg + size);
    }
    tjFree(jpeg);
    tjDestroy(tj);
    return out;
}

Bytes srgbProfile() {
    return saveProfile(cmsCreate_sRGBProfile());
}

namespace {

// A matrix/TRC profile with one curve for all three channels, saved as the given ICC version.
Bytes rgbProfile(const cmsCIExyY& white, const cmsCIExyYTRIPLE& primaries, cmsToneCurve* curve,
                 double version = 4.3) {
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    cmsSetProfileVersion(p, version);
    return saveProfile(p);
}

constexpr cmsCIExyY kD65 = {0.3127, 0.3290, 1.0};
constexpr cmsCIExyYTRIPLE kSrgbPrimaries = {
    {0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
constexpr cmsFloat64Number kSrgbCurve[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};

cmsToneCurve* srgbCurve() {
    return cmsBuildParametricToneCurve(nullptr, 4, kSrgbCurve);
}

}  // namespace

Bytes linearRgbProfile() {
    return rgbProfile(kD65, kSrgbPrimaries, cmsBuildGamma(nullptr, 1.0));
}

Bytes displayP3Profile() {
    return rgbProfile(kD65, {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}},
                      srgbCurve());
}

Bytes adobeRgbProfile() {
    return rgbProfile(kD65, {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}},
                      cmsBuildGamma(nullptr, 563.0 / 256.0), 2.1);
}

Bytes proPhotoProfile() {
    return rgbProfile({0.3457, 0.3585, 1.0},
                      {{0.7347, 0.2653, 1.0}, {0.1596, 0.8404, 1.0}, {0.0366, 0.0001, 1.0}},
                      cmsBuildGamma(nullptr, 1.8), 2.1);
}

Bytes tabulatedSrgbProfile() {
    cmsToneCurve* parametric = srgbCurve();
    std::vector<cmsFloat32Number> samples(1024);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = cmsEvalToneCurveFloat(parametric, static_cast<float>(i) / 1023.0f);
    }
    cmsFreeToneCurve(parametric);
    return rgbProfile(kD65, kSrgbPrimaries,
                      cmsBuildTabulatedToneCurveFloat(nullptr, 1024, samples.data()), 2.1);
}

Bytes liftedBlackProfile() {
    // Y = (aX)^2.2 + 0.02 with Y(1) = 1 (type 5: g, a, b, c, d, e, f): a black that isn't
    // zero, which black point compensation would move.
    const cmsFloat64Number lifted[7] = {2.2, std::pow(0.98, 1 / 2.2), 0.0, 0.0, 0.0, 0.02, 0.02};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 5, lifted);
    return rgbProfile(kD65, kSrgbPrimaries, curve);
}

Bytes matrixProfileWithLut() {
    // The matrix and curves say sRGB, the A2B0/B2A0 tables (which lcms2 prefers) say ProPhoto.
    Bytes proPhoto = proPhotoProfile();
    cmsHPROFILE table = cmsOpenProfileFromMem(proPhoto.data(), proPhoto.size());
    cmsHPROFILE xyz = cmsCreateXYZProfile();
    cmsHTRANSFORM toXyz = cmsCreateTransform(table, TYPE_RGB_16, xyz, TYPE_XYZ_16,
                                             INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    cmsHTRANSFORM fromXyz = cmsCreateTransform(xyz, TYPE_XYZ_16, table, TYPE_RGB_16,
                                               INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    auto sampled = [](cmsHTRANSFORM transform) {
        cmsPipeline* lut = cmsPipelineAlloc(nullptr, 3, 3);
        cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 17, 3, 3, nullptr);
        cmsStageSampleCLut16bit(
            clut,
            [](const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) -> cmsInt32Number {
                cmsDoTransform(static_cast<cmsHTRANSFORM>(cargo), in, out, 1);
                return TRUE;
            },
            transform, 0);
        cmsPipelineInsertStage(lut, cmsAT_END, clut);
        return lut;
    };
    cmsPipeline* a2b = sampled(toXyz);
    cmsPipeline* b2a = sampled(fromXyz);
    cmsToneCurve* curve = srgbCurve();
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE p = cmsCreateRGBProfile(&kD65, &kSrgbPrimaries, curves);
    cmsSetProfileVersion(p, 2.1);
    cmsWriteTag(p, cmsSigAToB0Tag, a2b);
    cmsWriteTag(p, cmsSigBToA0Tag, b2a);
    cmsPipelineFree(a2b);
    cmsPipelineFree(b2a);
    cmsFreeToneCurve(curve);
    cmsDeleteTransform(toXyz);
    cmsDeleteTransform(fromXyz);
    cmsCloseProfile(xyz);
    cmsCloseProfile(table);
    return saveProfile(p);
}

Bytes grayProfile() {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
    cmsHPROFILE p = cmsCreateGrayProfile(cmsD50_xyY(), curve);
    cmsFreeToneCurve(curve);
    return saveProfile(p);
}

Bytes labProfile() {
    return saveProfile(cmsCreateLab4Profile(nullptr));
}

Bytes cmykProfile() {
    // An output profile in CMYK: an ink-limiting link saved with an output class is enough for
    // the colour-model check, which is what is being tested.
    cmsHPROFILE p = cmsCreateInkLimitingDeviceLink(cmsSigCmykData, 300.0);
    cmsSetDeviceClass(p, cmsSigOutputClass);
    cmsSetPCS(p, cmsSigLabData);
    return saveProfile(p);
}

PixelBuffer patternImage(uint32_t width, uint32_t height, bool withAlpha, uint32_t seed) {
    PixelBuffer image;
    image.width = width;
    image.height = height;
    image.rgba.resize(size_t{width} * height * 4);
    uint32_t state = seed * 2654435761u + 1;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            uint8_t* p = &image.rgba[(size_t{y} * width + x) * 4];
            // Smooth gradients plus a little noise: compressible, yet every value occurs.
            p[0] = static_cast<uint8_t>(x * 3 + (state >> 29));
            p[1] = static_cast<uint8_t>(y * 5 + (state >> 27));
            p[2] = static_cast<uint8_t>((x + y) ^ (state >> 24));
            p[3] = withAlpha ? static_cast<uint8_t>(state >> 16) : 255;
        }
    }
    return image;
}

}  // namespace testimg
