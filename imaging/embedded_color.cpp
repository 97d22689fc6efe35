#include "imaging/embedded_color.h"

#include <array>
#include <cmath>
#include <new>

#include "imaging/color_transform.h"
#include "imaging/lcms_handles.h"

namespace imaging {
namespace {

constexpr cmsUInt32Number kFlags = cmsFLAGS_COPY_ALPHA | cmsFLAGS_NOCACHE;

// A file gamma this close to 1/2.2 without primaries is what sRGB-era tools write for sRGB;
// converting it as a pure power curve would shift every dark tone for nothing.
bool looksLikeSrgb(const EmbeddedColor& tags) {
    return !tags.chromaticities && tags.fileGamma && std::fabs(*tags.fileGamma - 0.45455) < 0.01;
}

ToneCurvePtr curveFor(const EmbeddedColor& tags) {
    if (tags.fileGamma) {
        double decodeExponent = 1.0 / *tags.fileGamma;
        if (!(decodeExponent >= 0.1 && decodeExponent <= 10.0)) {
            return nullptr;
        }
        return ToneCurvePtr(cmsBuildGamma(nullptr, decodeExponent));
    }
    // Primaries only: the sRGB tone curve.
    const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    return ToneCurvePtr(cmsBuildParametricToneCurve(nullptr, 4, srgb));
}

// The profile the file's tags describe, or null when they describe sRGB or nothing usable.
ProfilePtr profileFor(bool isGray, const EmbeddedColor& tags) {
    if (tags.srgbTagged) {
        return nullptr;
    }
    if (tags.iccProfile && tags.iccLength > 0) {
        ProfilePtr p(
            cmsOpenProfileFromMem(tags.iccProfile, static_cast<cmsUInt32Number>(tags.iccLength)));
        if (p) {
            cmsColorSpaceSignature space = cmsGetColorSpace(p.get());
            if ((isGray && space == cmsSigGrayData) || (!isGray && space == cmsSigRgbData)) {
                return p;
            }
        }
        return nullptr;
    }
    if ((!tags.fileGamma && !tags.chromaticities) || looksLikeSrgb(tags)) {
        return nullptr;
    }
    ToneCurvePtr curve = curveFor(tags);
    if (!curve) {
        return nullptr;
    }
    cmsCIExyY white = {0.3127, 0.3290, 1.0};
    cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    if (tags.chromaticities) {
        const Chromaticities& c = *tags.chromaticities;
        white = {c.whiteX, c.whiteY, 1.0};
        primaries = {{c.redX, c.redY, 1.0}, {c.greenX, c.greenY, 1.0}, {c.blueX, c.blueY, 1.0}};
    }
    if (isGray) {
        return ProfilePtr(cmsCreateGrayProfile(&white, curve.get()));
    }
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    return ProfilePtr(cmsCreateRGBProfile(&white, &primaries, curves));
}

// Grey pixels depend on one value only, so a 256-entry table does the whole conversion.
bool prepareGray(cmsHPROFILE gray, cmsHPROFILE srgb, std::vector<uint8_t>& table) {
    TransformPtr t(cmsCreateTransform(gray, TYPE_GRAY_8, srgb, TYPE_RGB_8, INTENT_PERCEPTUAL,
                                      cmsFLAGS_NOCACHE));
    if (!t) {
        return false;
    }
    std::array<uint8_t, 256> levels{};
    for (unsigned i = 0; i < 256; ++i) {
        levels[i] = static_cast<uint8_t>(i);
    }
    table.resize(256 * 3);
    cmsDoTransform(t.get(), levels.data(), table.data(), 256);
    return true;
}

}  // namespace

bool prepareEmbeddedConversion(bool isGray, const EmbeddedColor& tags,
                               EmbeddedConversion& conversion) {
    try {
        ProfilePtr file = profileFor(isGray, tags);
        if (!file) {
            return true;
        }
        ProfilePtr srgb(cmsCreate_sRGBProfile());
        if (!srgb) {
            return true;
        }
        if (isGray) {
            prepareGray(file.get(), srgb.get(), conversion.grayTable);
            return true;
        }
        conversion.rgb.reset(cmsCreateTransform(file.get(), TYPE_RGBA_8, srgb.get(), TYPE_RGBA_8,
                                                INTENT_PERCEPTUAL, kFlags));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void applyEmbeddedConversion(const EmbeddedConversion& conversion, uint8_t* rgba, size_t pixels) {
    if (conversion.rgb) {
        transformPixels(conversion.rgb.get(), rgba, 4, rgba, 4, pixels);
        return;
    }
    if (conversion.grayTable.empty()) {
        return;
    }
    for (size_t i = 0; i < pixels; ++i, rgba += 4) {
        const uint8_t* rgb = &conversion.grayTable[rgba[0] * 3];
        rgba[0] = rgb[0];
        rgba[1] = rgb[1];
        rgba[2] = rgb[2];
    }
}

bool convertEmbeddedToSrgb(uint8_t* rgba, size_t pixels, bool isGray, const EmbeddedColor& tags) {
    EmbeddedConversion conversion;
    if (!prepareEmbeddedConversion(isGray, tags, conversion)) {
        return false;
    }
    applyEmbeddedConversion(conversion, rgba, pixels);
    return true;
}

bool convertCmykToSrgb(const uint8_t* cmyk, uint8_t* rgba, size_t pixels, const uint8_t* icc,
                       size_t iccLength) {
    try {
        ProfilePtr file;
        if (icc && iccLength > 0) {
            file.reset(cmsOpenProfileFromMem(icc, static_cast<cmsUInt32Number>(iccLength)));
            if (file && cmsGetColorSpace(file.get()) != cmsSigCmykData) {
                file.reset();
            }
        }
        ProfilePtr srgb(file ? cmsCreate_sRGBProfile() : nullptr);
        TransformPtr t;
        if (file && srgb) {
            t.reset(cmsCreateTransform(file.get(), TYPE_CMYK_8_REV, srgb.get(), TYPE_RGBA_8,
                                       INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
        }
        if (t) {
            transformPixels(t.get(), cmyk, 4, rgba, 4, pixels);
            for (size_t i = 0; i < pixels; ++i) {
                rgba[i * 4 + 3] = 255;
            }
            return true;
        }
        // Inverted samples: each stored value is 255 minus the ink, so colour = value * key.
        for (size_t i = 0; i < pixels; ++i, cmyk += 4, rgba += 4) {
            unsigned k = cmyk[3];
            rgba[0] = static_cast<uint8_t>((cmyk[0] * k + 127) / 255);
            rgba[1] = static_cast<uint8_t>((cmyk[1] * k + 127) / 255);
            rgba[2] = static_cast<uint8_t>((cmyk[2] * k + 127) / 255);
            rgba[3] = 255;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace imaging
