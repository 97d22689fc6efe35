// Shows the imaging core on a real photo: decode, treat it as wide-gamut (Display P3-like)
// and convert to sRGB, cover-fit, encode, and write every result into a folder with timings.
//   lumivo-imaging-demo <photo.jpg|png> <output-dir> [width height]
#include <lcms2.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/color.h"
#include "imaging/png.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// D65 white, P3 primaries, the sRGB tone curve.
Bytes wideGamutProfile() {
    cmsCIExyY white = {0.3127, 0.3290, 1.0};
    cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
    if (!curve) {
        return {};
    }
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    if (!profile) {
        return {};
    }
    cmsSetProfileVersion(profile, 4.3);
    cmsMLU* description = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(description, "en", "US", "Lumivo demo wide gamut (P3 primaries, D65)");
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, description);
    cmsMLUfree(description);
    cmsUInt32Number size = 0;
    Bytes bytes;
    if (cmsSaveProfileToMem(profile, nullptr, &size)) {
        bytes.resize(size);
        cmsSaveProfileToMem(profile, bytes.data(), &size);
    }
    cmsCloseProfile(profile);
    return bytes;
}

bool writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: %s <photo.jpg|png> <output-dir> [width height]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path outDir = argv[2];
    const uint32_t width =
        argc == 5 ? static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)) : 1200;
    const uint32_t height =
        argc == 5 ? static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 10)) : 800;
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);

    std::ifstream in(argv[1], std::ios::binary);
    Bytes file((std::istreambuf_iterator<char>(in)), {});
    if (file.empty()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }

    auto start = Clock::now();
    PixelBuffer image = png::decode(file.data(), file.size());
    if (image.empty()) {
        std::fprintf(stderr, "%s is not an image this core decodes\n", argv[1]);
        return 1;
    }
    std::printf("decoded   %s: %u x %u (%zu bytes) in %.1f ms\n", argv[1], image.width,
                image.height, file.size(), msSince(start));

    Bytes profile = wideGamutProfile();
    if (profile.empty() || !writeFile(outDir / "wide-gamut.icc", profile)) {
        std::fprintf(stderr, "cannot make or write the wide-gamut profile\n");
        return 1;
    }
    std::printf("profile   wide-gamut.icc: P3 primaries, D65, sRGB curve (%zu bytes)\n",
                profile.size());

    start = Clock::now();
    if (!color::documentToSrgbInPlace(image, profile.data(), profile.size())) {
        std::fprintf(stderr, "colour conversion refused the profile\n");
        return 1;
    }
    std::printf("converted pixels taken as wide-gamut to sRGB in %.1f ms\n", msSince(start));

    start = Clock::now();
    PixelBuffer fitted = png::fitCover(image, width, height);
    if (fitted.empty()) {
        std::fprintf(stderr, "cover fit to %u x %u failed\n", width, height);
        return 1;
    }
    const double s = std::max(double(width) / image.width, double(height) / image.height);
    std::printf("fitted    to %u x %u (scale %.4f, drawn %.1f x %.1f at %.1f, %.1f) in %.1f ms\n",
                width, height, s, image.width * s, image.height * s,
                (width - image.width * s) * 0.5, (height - image.height * s) * 0.5, msSince(start));

    start = Clock::now();
    Bytes fullPng = png::encode(image);
    double fullMs = msSince(start);
    start = Clock::now();
    Bytes fittedPng = png::encode(fitted);
    double fittedMs = msSince(start);
    if (fullPng.empty() || fittedPng.empty() || !writeFile(outDir / "srgb.png", fullPng) ||
        !writeFile(outDir / "cover.png", fittedPng)) {
        std::fprintf(stderr, "encoding or writing failed\n");
        return 1;
    }
    std::printf("encoded   srgb.png (%zu bytes) in %.1f ms, cover.png (%zu bytes) in %.1f ms\n",
                fullPng.size(), fullMs, fittedPng.size(), fittedMs);

    start = Clock::now();
    PixelBuffer back = fitted;
    if (!color::srgbToDocumentInPlace(back, profile.data(), profile.size()) ||
        !writeFile(outDir / "cover-wide-gamut.png", png::encode(back))) {
        std::fprintf(stderr, "converting back failed\n");
        return 1;
    }
    std::printf(
        "converted the cover back to the wide-gamut profile in %.1f ms "
        "(cover-wide-gamut.png, untagged)\n",
        msSince(start));
    std::printf("wrote     %s\n", outDir.c_str());
    return 0;
}
